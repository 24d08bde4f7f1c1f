// The INI file on a real file system, where the path may hold something that
// is not a small regular file: the settings fall back to their defaults and
// nothing hangs, and a save never replaces what is not a file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QTemporaryDir>

#include "config/IniFile.h"
#include "platform/Files.h"

namespace {

const QString kExe = QStringLiteral("VaskorLinkPC");
const QString kLocalIP = QStringLiteral("10.9.8.7");
const QByteArray kSection = "[VASKORLINKPC]\r\nTCPport = 4242\r\n";

class IniOnDisk : public ::testing::Test {
protected:
    QTemporaryDir dir;
    PosixFiles files;
    QString path = dir.filePath(QStringLiteral("VaskorLinkPC.ini"));
    QByteArray native = QFile::encodeName(path);

    IniSettings Load() {
        IniSettings s;
        s.TCPport = -1;
        LoadINIfile(path, s, kLocalIP, kExe, files);
        return s;
    }
    void Write(const QByteArray &bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
};

TEST_F(IniOnDisk, AFileBeyondTheCapGivesTheDefaultsAndOneAtTheCapIsRead) {
    // Settings first, then 20 MB of NULs (a hole, quick to make): refused
    // as a whole.
    Write(kSection);
    ASSERT_TRUE(QFile::resize(path, 20 * 1000 * 1000));
    EXPECT_EQ(Load(), IniDefaults(kLocalIP));

    // Exactly at the cap, with the settings last: read to its end.
    const QByteArray tail = "\r\n" + kSection;
    Write(QByteArray());
    ASSERT_TRUE(QFile::resize(path, kMaxIniFileBytes - tail.size()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    ASSERT_EQ(file.write(tail), tail.size());
    file.close();
    EXPECT_EQ(Load().TCPport, 4242);
}

TEST_F(IniOnDisk, WhatIsNotARegularFileGivesTheDefaultsWithoutWaiting) {
    ASSERT_EQ(::mkfifo(native.constData(), 0600), 0);
    EXPECT_EQ(Load(), IniDefaults(kLocalIP));  // a FIFO: an open would wait for a writer
    ASSERT_EQ(::unlink(native.constData()), 0);

    ASSERT_EQ(::symlink("/dev/zero", native.constData()), 0);
    EXPECT_EQ(Load(), IniDefaults(kLocalIP));  // endless
    ASSERT_EQ(::unlink(native.constData()), 0);

    ASSERT_EQ(::mkdir(native.constData(), 0700), 0);
    EXPECT_EQ(Load(), IniDefaults(kLocalIP));
    ASSERT_EQ(::rmdir(native.constData()), 0);

    Write(kSection);
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(native.constData(), 0), 0);
        EXPECT_EQ(Load(), IniDefaults(kLocalIP));
        ASSERT_EQ(::chmod(native.constData(), 0600), 0);
    }
    EXPECT_EQ(Load().TCPport, 4242);
}

// Saving follows a link to where the user keeps the file, but only to a
// file: a link to a device, a FIFO or a directory is left alone, and so is
// such a thing in the file's own place. (A link to /dev/null would
// otherwise have /dev/null replaced by a regular file when saving as root.)
TEST_F(IniOnDisk, ASaveNeverReplacesWhatIsNotAFile) {
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
    const QByteArray folder = QFile::encodeName(dir.filePath(QStringLiteral("folder")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    const IniSettings s = IniDefaults(kLocalIP);
    for (const QByteArray &target : {fifo, folder}) {
        SCOPED_TRACE(target.constData());
        ASSERT_EQ(::symlink(target.constData(), native.constData()), 0);
        EXPECT_FALSE(SaveINIfile(path, s, kExe, files));
        struct stat info {};
        ASSERT_EQ(::lstat(native.constData(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode));
        ASSERT_EQ(::lstat(target.constData(), &info), 0);
        EXPECT_FALSE(S_ISREG(info.st_mode));
        ASSERT_EQ(::unlink(native.constData()), 0);
    }
    ASSERT_EQ(::mkfifo(native.constData(), 0600), 0);
    EXPECT_FALSE(SaveINIfile(path, s, kExe, files));
    struct stat info {};
    ASSERT_EQ(::lstat(native.constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    ASSERT_EQ(::unlink(native.constData()), 0);

    // A link that leads nowhere is replaced by the file, as before.
    ASSERT_EQ(::symlink("later.ini", native.constData()), 0);
    EXPECT_TRUE(SaveINIfile(path, s, kExe, files));
    IniSettings loaded;
    LoadINIfile(path, loaded, kLocalIP, kExe, files);
    EXPECT_EQ(loaded, s);
}

}  // namespace
