#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

#include "config/IniFile.h"
#include "platform/Files.h"

namespace {

class PosixFilesTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    PosixFiles files;

    QString PathOf(const QString &name) const { return dir.filePath(name); }

    static void Write(const QString &path, const QByteArray &bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray Read(const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static mode_t ModeOf(const QString &path) {
        struct stat info {};
        ::lstat(QFile::encodeName(path).constData(), &info);
        return info.st_mode;
    }
    QStringList Entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

// Makes every write beyond `limit` bytes fail with EFBIG, as a full disk
// would, also for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST_F(PosixFilesTest, ExistsOnlyForRegularFilesAndLinksToThem) {
    Write(PathOf(QStringLiteral("a")), "x");
    ASSERT_EQ(::symlink("a", QFile::encodeName(PathOf(QStringLiteral("link"))).constData()), 0);
    ASSERT_EQ(::symlink("gone", QFile::encodeName(PathOf(QStringLiteral("dangling"))).constData()),
              0);
    EXPECT_TRUE(files.Exists(PathOf(QStringLiteral("a"))));
    EXPECT_TRUE(files.Exists(PathOf(QStringLiteral("link"))));
    EXPECT_FALSE(files.Exists(PathOf(QStringLiteral("dangling"))));
    EXPECT_FALSE(files.Exists(PathOf(QStringLiteral("missing"))));
    EXPECT_FALSE(files.Exists(dir.path()));
}

TEST_F(PosixFilesTest, ReadAllReadsWholeFilesUpToTheCap) {
    const QString path = PathOf(QStringLiteral("a"));
    const QByteArray bytes = QByteArray(200000, 'z') + QByteArray(3, '\0');
    Write(path, bytes);
    EXPECT_EQ(files.ReadAll(path, bytes.size()), bytes);
    EXPECT_EQ(files.ReadAll(path, bytes.size() - 1), std::nullopt);
    EXPECT_EQ(files.ReadAll(PathOf(QStringLiteral("missing")), 100), std::nullopt);
    EXPECT_EQ(files.ReadAll(dir.path(), 100), std::nullopt);
    Write(PathOf(QStringLiteral("empty")), QByteArray());
    EXPECT_EQ(files.ReadAll(PathOf(QStringLiteral("empty")), 100), QByteArray());
}

TEST_F(PosixFilesTest, ReadAllRefusesAFifoWithoutWaitingForAWriter) {
    const QString path = PathOf(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_EQ(files.ReadAll(path, 100), std::nullopt);
}

TEST_F(PosixFilesTest, WriteReplacingCreatesAndReplacesLeavingNoTemporaryFile) {
    const QString path = PathOf(QStringLiteral("a.ini"));
    const mode_t mask = ::umask(022);
    EXPECT_TRUE(files.WriteReplacing(path, "first"));
    EXPECT_EQ(ModeOf(path) & 0777, 0644u);
    ::chmod(QFile::encodeName(path).constData(), 0600);
    EXPECT_TRUE(files.WriteReplacing(path, "second"));
    ::umask(mask);
    EXPECT_EQ(Read(path), "second");
    EXPECT_EQ(ModeOf(path) & 0777, 0600u);
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("a.ini")});
}

TEST_F(PosixFilesTest, WriteReplacingThroughALinkKeepsTheLink) {
    Write(PathOf(QStringLiteral("real.ini")), "old");
    const QString link = PathOf(QStringLiteral("a.ini"));
    ASSERT_EQ(::symlink("real.ini", QFile::encodeName(link).constData()), 0);
    EXPECT_TRUE(files.WriteReplacing(link, "new"));
    EXPECT_TRUE(S_ISLNK(ModeOf(link)));
    EXPECT_EQ(Read(PathOf(QStringLiteral("real.ini"))), "new");
}

TEST_F(PosixFilesTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    const QString path = PathOf(QStringLiteral("a.ini"));
    Write(path, "old content");
    {
        FileSizeLimit limit(16);
        EXPECT_FALSE(files.WriteReplacing(path, QByteArray(4096, 'n')));
    }
    EXPECT_EQ(Read(path), "old content");
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("a.ini")});
    EXPECT_FALSE(files.WriteReplacing(PathOf(QStringLiteral("missing/a.ini")), "x"));
}

TEST_F(PosixFilesTest, DirectoriesAreMadeAndTested) {
    const QString nested = PathOf(QStringLiteral("one/two/three"));
    EXPECT_FALSE(files.IsDirectoryWritable(nested));
    EXPECT_TRUE(files.MakeDirectories(nested));
    EXPECT_EQ(ModeOf(nested) & 0777, 0700u);
    EXPECT_TRUE(files.MakeDirectories(nested));
    EXPECT_TRUE(files.IsDirectoryWritable(nested));

    Write(PathOf(QStringLiteral("file")), "x");
    EXPECT_FALSE(files.MakeDirectories(PathOf(QStringLiteral("file"))));
    EXPECT_FALSE(files.MakeDirectories(PathOf(QStringLiteral("file/sub"))));
    EXPECT_FALSE(files.IsDirectoryWritable(PathOf(QStringLiteral("file"))));
}

TEST_F(PosixFilesTest, ReadOnlyDirectoryIsNotWritable) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
    const QString sub = PathOf(QStringLiteral("ro"));
    ASSERT_TRUE(files.MakeDirectories(sub));
    ::chmod(QFile::encodeName(sub).constData(), 0500);
    EXPECT_FALSE(files.IsDirectoryWritable(sub));
    EXPECT_FALSE(files.WriteReplacing(sub + QStringLiteral("/a.ini"), "x"));
    ::chmod(QFile::encodeName(sub).constData(), 0700);
}

TEST_F(PosixFilesTest, IniFileSurvivesAFailedSave) {
    const QString path = PathOf(QStringLiteral("cfg/VaskorLinkPC.ini"));
    const QString exe = QStringLiteral("VaskorLinkPC");
    IniSettings saved = IniDefaults(QStringLiteral("127.0.0.1"));
    saved.TCPport = 6000;
    ASSERT_TRUE(SaveINIfile(path, saved, exe, files));
    const QByteArray before = Read(path);

    IniSettings changed = saved;
    changed.TCPport = 7000;
    {
        FileSizeLimit limit(16);
        EXPECT_FALSE(SaveINIfile(path, changed, exe, files));
    }
    EXPECT_EQ(Read(path), before);
    IniSettings loaded;
    LoadINIfile(path, loaded, QStringLiteral("127.0.0.1"), exe, files);
    EXPECT_EQ(loaded, saved);
}

}  // namespace
