// The bridge's side of the modem-line record that serial programs read
// through the lines library.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>

#include "platform/LineStateFile.h"
#include "platform/LineStateRecord.h"
#include "platform/PtyTerminal.h"

namespace {

class LineStateFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(pty_.Open());
        directory_ = QFile::encodeName(dir_.path());
        struct stat slave {};
        ASSERT_EQ(::stat(pty_.SlavePath().constData(), &slave), 0);
        device_ = slave.st_rdev;
        char name[4096];
        ASSERT_TRUE(LineStateFileName(directory_.constData(), device_, name, sizeof name));
        path_ = name;
    }

    LineStateRecord Read() const {
        LineStateRecord record{};
        QFile file(QFile::decodeName(path_));
        if (file.open(QIODevice::ReadOnly)) {
            file.read(reinterpret_cast<char *>(&record), sizeof record);
        }
        return record;
    }

    // What a client's F_OFD_GETLK sees: whether a live bridge holds it.
    bool Locked() const {
        const int fd = ::open(path_.constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return false;
        struct flock lock {};
        lock.l_type = F_WRLCK;
        const bool locked = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
        ::close(fd);
        return locked;
    }

    QTemporaryDir dir_;
    PtyTerminal pty_;
    QByteArray directory_;
    QByteArray path_;
    dev_t device_ = 0;
};

TEST_F(LineStateFileTest, PublishesALockedRecordOfThisSlaveAndRemovesIt) {
    {
        LineStateFile lines;
        ASSERT_TRUE(lines.Create(directory_, pty_.SlavePath(), true));
        EXPECT_EQ(lines.Path(), path_);
        const LineStateRecord record = Read();
        EXPECT_EQ(std::memcmp(record.magic, LineStateRecord::kMagic, sizeof record.magic), 0);
        EXPECT_EQ(record.version, LineStateRecord::kVersion);
        EXPECT_EQ(record.device, device_);
        EXPECT_EQ(record.linkUp, 1u);
        EXPECT_EQ(record.linkChanges, 0u);
        EXPECT_EQ(record.dtr, 1);
        EXPECT_EQ(record.rts, 1);
        EXPECT_TRUE(Locked());
        struct stat info {};
        ASSERT_EQ(::stat(path_.constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0600u);
    }
    EXPECT_FALSE(QFile::exists(QFile::decodeName(path_)));
}

TEST_F(LineStateFileTest, CountsRealChangesOfTheLinkAndReassertsTheClientsLines) {
    LineStateFile lines;
    lines.SetLinkUp(true);  // before the port: only remembered
    ASSERT_TRUE(lines.Create(directory_, pty_.SlavePath(), true));
    lines.SetLinkUp(true);
    lines.SetLinkUp(false);
    lines.SetLinkUp(false);
    lines.SetLinkUp(true);
    EXPECT_EQ(Read().linkUp, 1u);
    EXPECT_EQ(Read().linkChanges, 2u);

    // A client dropped both lines; its last close puts them back.
    const int fd = ::open(path_.constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const quint8 dropped[2] = {0, 0};
    ASSERT_EQ(::pwrite(fd, dropped, 2, offsetof(LineStateRecord, dtr)), 2);
    ::close(fd);
    EXPECT_EQ(Read().dtr, 0);
    lines.ResetClientLines();
    EXPECT_EQ(Read().dtr, 1);
    EXPECT_EQ(Read().rts, 1);
    EXPECT_EQ(Read().linkChanges, 2u);
}

// A bridge killed mid-run leaves its record unlocked: the next one replaces
// it. One that is alive keeps its record.
TEST_F(LineStateFileTest, ReplacesALeftoverButNeverALiveBridgesRecord) {
    QFile leftover(QFile::decodeName(path_));
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.write(QByteArray(200, 'x'));
    leftover.close();
    LineStateFile first;
    ASSERT_TRUE(first.Create(directory_, pty_.SlavePath(), false));
    EXPECT_EQ(QFileInfo(leftover).size(), static_cast<qint64>(sizeof(LineStateRecord)));

    LineStateFile second;
    EXPECT_FALSE(second.Create(directory_, pty_.SlavePath(), true));
    EXPECT_FALSE(second.Published());
    EXPECT_EQ(Read().linkUp, 0u);
    EXPECT_TRUE(Locked());
}

TEST_F(LineStateFileTest, NothingIsPublishedForAPathThatIsNotADevice) {
    LineStateFile lines;
    EXPECT_FALSE(lines.Create(directory_, directory_, true));
    EXPECT_FALSE(lines.Create(directory_ + "/missing", pty_.SlavePath(), true));
    EXPECT_FALSE(lines.Published());
}

}  // namespace
