#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QTemporaryDir>

#include "platform/PortNames.h"
#include "platform/PtyTerminal.h"

namespace {

class PortNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tempDir_.isValid());
        dir_ = QFile::encodeName(tempDir_.path());
        ::chmod(dir_.constData(), 0700);
        savedRuntime_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("VASKORLINK_PORT_DIR", dir_);
    }
    void TearDown() override {
        qunsetenv("VASKORLINK_PORT_DIR");
        qputenv("XDG_RUNTIME_DIR", savedRuntime_);
    }
    QByteArray Path(const char *name) const { return dir_ + '/' + name; }
    static QString Name(const QByteArray &bytes) { return QString::fromLocal8Bit(bytes); }

    QTemporaryDir tempDir_;
    QByteArray dir_;
    QByteArray savedRuntime_;
};

TEST_F(PortNamesTest, PortDirectoryComesFromTheEnvironmentInOrder) {
    EXPECT_EQ(PortDirectory(), dir_);
    qputenv("VASKORLINK_PORT_DIR", dir_ + "//");
    EXPECT_EQ(PortDirectory(), dir_);
    qunsetenv("VASKORLINK_PORT_DIR");
    qputenv("XDG_RUNTIME_DIR", "/run/user/1234");
    EXPECT_EQ(PortDirectory(), QByteArray("/run/user/1234/vaskorlink"));
    const QByteArray fallback = "/tmp/vaskorlink-" + QByteArray::number(::geteuid());
    qputenv("XDG_RUNTIME_DIR", "relative/dir");
    EXPECT_EQ(PortDirectory(), fallback);
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(PortDirectory(), fallback);
}

TEST_F(PortNamesTest, MapsBareNamesIntoThePortDirectoryAndPathsToThemselves) {
    EXPECT_EQ(PortPath(QStringLiteral("COM4")), Path("COM4"));
    EXPECT_EQ(PortPath(QStringLiteral("...")), Path("..."));
    EXPECT_EQ(PortPath(QStringLiteral("/dev/ttyS0")), QByteArray("/dev/ttyS0"));
    EXPECT_EQ(PortPath(QStringLiteral("wine/com4")), QByteArray("wine/com4"));
    EXPECT_EQ(PortPath(QStringLiteral("K\u00f6ln")),
              dir_ + '/' + QStringLiteral("K\u00f6ln").toLocal8Bit());
    for (const QString &bad :
         {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("COM\n4"),
          QStringLiteral("CO") + QChar(0) + QStringLiteral("M4"), QString(QChar(0xD800))}) {
        EXPECT_TRUE(PortPath(bad).isEmpty()) << bad.toStdString();
        EXPECT_TRUE(PreparePortPath(bad).isEmpty());
    }
}

TEST_F(PortNamesTest, CreatesAPrivatePortDirectoryWhateverTheUmask) {
    const mode_t oldMask = ::umask(0);
    EXPECT_TRUE(EnsurePortDirectory(Path("fresh")));
    ::umask(0277);
    EXPECT_TRUE(EnsurePortDirectory(Path("masked")));
    ::umask(oldMask);
    for (const char *dir : {"fresh", "masked"}) {
        struct stat info {};
        ASSERT_EQ(::lstat(Path(dir).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0700u) << dir;
    }
    EXPECT_TRUE(EnsurePortDirectory(Path("fresh"))) << "an existing one is fine";
    qputenv("VASKORLINK_PORT_DIR", Path("viaPrepare"));
    EXPECT_EQ(PreparePortPath(QStringLiteral("COM4")), Path("viaPrepare/COM4"));
    EXPECT_TRUE(EnsurePortDirectory(Path("viaPrepare")));
}

TEST_F(PortNamesTest, RefusesPortDirectoriesOthersCouldTamperWith) {
    ASSERT_EQ(::mkdir(Path("groupWritable").constData(), 0700), 0);
    ASSERT_EQ(::chmod(Path("groupWritable").constData(), 0770), 0);
    ASSERT_EQ(::mkdir(Path("worldWritable").constData(), 0700), 0);
    ASSERT_EQ(::chmod(Path("worldWritable").constData(), 0777), 0);
    ASSERT_EQ(::mkdir(Path("real").constData(), 0700), 0);
    ASSERT_EQ(::symlink(Path("real").constData(), Path("link").constData()), 0);
    ASSERT_TRUE(QFile(QFile::decodeName(Path("file"))).open(QIODevice::WriteOnly));
    for (const char *dir : {"groupWritable", "worldWritable", "link", "file", "missing/child"}) {
        EXPECT_FALSE(EnsurePortDirectory(Path(dir))) << dir;
        qputenv("VASKORLINK_PORT_DIR", Path(dir));
        EXPECT_TRUE(PreparePortPath(QStringLiteral("COM4")).isEmpty()) << dir;
    }
    if (::geteuid() != 0) {
        EXPECT_FALSE(EnsurePortDirectory("/")) << "not ours";
    }
    // A path name does not depend on the port directory.
    EXPECT_EQ(PreparePortPath(Name(Path("real/COM4"))), Path("real/COM4"));
}

TEST_F(PortNamesTest, SerialDeviceExistsOnlyForTerminalsAndLinksToThem) {
    PtyTerminal pty;
    ASSERT_TRUE(pty.Open());
    ASSERT_TRUE(QFile(QFile::decodeName(Path("file"))).open(QIODevice::WriteOnly));
    ASSERT_EQ(::symlink(pty.SlavePath().constData(), Path("COM7").constData()), 0);
    ASSERT_EQ(::symlink(Path("file").constData(), Path("COM8").constData()), 0);
    ASSERT_EQ(::symlink("/dev/pts/987654", Path("COM9").constData()), 0);
    ASSERT_EQ(::symlink("/dev/null", Path("NUL").constData()), 0);

    EXPECT_TRUE(SerialDeviceExists(QStringLiteral("COM7")));
    EXPECT_TRUE(SerialDeviceExists(Name(pty.SlavePath())));
    for (const char *name : {"COM8", "COM9", "NUL", "file", "COM1", ".."}) {
        EXPECT_FALSE(SerialDeviceExists(QString::fromLatin1(name))) << name;
    }
    EXPECT_FALSE(SerialDeviceExists(QStringLiteral("/dev/null")));
    EXPECT_FALSE(SerialDeviceExists(Name(dir_)));
}

}  // namespace
