// Modem lines on the real program's port through the preload library: what a
// serial program gets without it (a pty's refusals) and with it (a real
// port's answers, CTS/DSR/DCD following the device), and that on every other
// descriptor the library changes nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

#include "platform/LineStateRecord.h"
#include "support/LinkedProgram.h"
#include "support/ModemClient.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

const QByteArray kAnswersWithTheLibrary =
    "TIOCMGET rc=0 bits=DTR,RTS,CTS,DSR,CD\n"
    "TIOCMBIC(DTR) rc=0\n"
    "TIOCMGET rc=0 bits=RTS,CTS,DSR,CD\n"
    "TIOCMBIC(RTS) rc=0\n"
    "TIOCMGET rc=0 bits=CTS,DSR,CD\n"
    "TIOCMBIS(DTR) rc=0\n"
    "TIOCMGET rc=0 bits=DTR,CTS,DSR,CD\n"
    "TIOCMSET(RTS) rc=0\n"
    "TIOCMGET rc=0 bits=RTS,CTS,DSR,CD\n"
    "TIOCMSET(DTR|RTS|CTS) rc=0\n"
    "TIOCMGET rc=0 bits=DTR,RTS,CTS,DSR,CD\n"
    "TIOCSBRK rc=0\n"
    "TIOCCBRK rc=0\n"
    "TCSBRK(0) rc=0\n"
    "TCSBRK(1) rc=0\n"
    "TIOCSERGETLSR rc=0 lsr=1\n"
    "TIOCGSERIAL rc=0 type=4 baud_base=115200 xmit_fifo_size=16 flags=0x0 custom_divisor=0\n"
    "TIOCSSERIAL rc=0\n"
    "TIOCGSERIAL rc=0 type=4 baud_base=115200 xmit_fifo_size=16 flags=0x2030 custom_divisor=3\n"
    "TIOCGICOUNT rc=0 cts=0 dsr=0 dcd=0 rng=0\n"
    "TIOCMGET(NULL) rc=-1 errno=EFAULT\n"
    "TIOCMIWAIT rc=-1 errno=EINTR\n"
    "FIONREAD rc=0 queued=0\n";

QByteArray Lines(const ModemClient &client, const QByteArray &port) {
    return client.Run(port, {QStringLiteral("lines")}, true).trimmed();
}

// The lines as the client sees them, once they read `want` (or the last
// reading after the time-out).
QByteArray WaitForLines(const ModemClient &client, const QByteArray &port, const QByteArray &want,
                        std::chrono::milliseconds timeout) {
    QElapsedTimer timer;
    timer.start();
    QByteArray seen = Lines(client, port);
    while (seen != want && timer.elapsed() < timeout.count()) {
        ::usleep(10 * 1000);
        seen = Lines(client, port);
    }
    return seen;
}

const QByteArray kAllUp = "TIOCMGET rc=0 bits=DTR,RTS,CTS,DSR,CD";
const QByteArray kLinkDown = "TIOCMGET rc=0 bits=DTR,RTS";

class ModemLines : public testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(link_.Start(&why)) << why;
        // Held for the whole test, as the serial program's own open would
        // be: the port then outlives the device going away.
        ASSERT_TRUE(link_.OpenClient(holder_, &why)) << why;
        port_ = link_.PortPath();
    }

    LinkedProgram link_;
    PtyClient holder_;
    QByteArray port_;
    ModemClient client_{link_.program.PortDir()};
};

TEST_F(ModemLines, WithoutTheLibraryThePortRefusesEveryModemRequest) {
    const QByteArray report = client_.Run(port_, {QStringLiteral("probe")}, false);
    ASSERT_TRUE(report.startsWith("TIOCMGET rc=-1")) << report.constData();
    for (const QByteArray &line : report.trimmed().split('\n')) {
        const bool modemRequest = line.startsWith("TIOCM") || line.startsWith("TIOCGSERIAL") ||
                                  line.startsWith("TIOCSSERIAL") ||
                                  line.startsWith("TIOCGICOUNT") ||
                                  line.startsWith("TIOCSERGETLSR");
        if (modemRequest) {
            EXPECT_TRUE(line.endsWith("errno=ENOTTY") || line.endsWith("errno=EINVAL"))
                << line.constData();
        }
    }
}

TEST_F(ModemLines, WithTheLibraryThePortAnswersAsASerialPort) {
    EXPECT_EQ(client_.Run(port_, {QStringLiteral("probe")}, true), kAnswersWithTheLibrary);
}

// Like a real port's: DTR and RTS stay as set while anybody holds the port,
// and the next open after the last close finds them asserted.
TEST_F(ModemLines, OutputLinesStayWhileHeldAndAreAssertedAtTheNextOpen) {
    EXPECT_EQ(client_.Run(port_, {QStringLiteral("drop")}, true),
              "TIOCMBIC(DTR) rc=0\nTIOCMGET rc=0 bits=RTS,CTS,DSR,CD\n"
              "TIOCMBIC(RTS) rc=0\nTIOCMGET rc=0 bits=CTS,DSR,CD\n");
    EXPECT_EQ(Lines(client_, port_), "TIOCMGET rc=0 bits=CTS,DSR,CD");
    holder_.Close();
    EXPECT_EQ(WaitForLines(client_, port_, kAllUp, 5s), kAllUp);
}

TEST_F(ModemLines, LinkLinesFollowTheDeviceGoingAndComingBack) {
    EXPECT_EQ(Lines(client_, port_), kAllUp);
    const std::unique_ptr<QProcess> waiter =
        client_.Start(port_, {QStringLiteral("wait"), QStringLiteral("20000")}, true);
    ::usleep(200 * 1000);  // the waiter is in TIOCMIWAIT now

    // Refused while away, so the program's retries find nobody.
    link_.device.StopListening();
    link_.device.Disconnect();
    EXPECT_EQ(WaitForLines(client_, port_, kLinkDown, 5s), kLinkDown);
    ASSERT_TRUE(waiter->waitForFinished(5000)) << "TIOCMIWAIT did not see the link go";
    EXPECT_EQ(waiter->readAllStandardOutput(), "TIOCMIWAIT rc=0\nTIOCMGET rc=0 bits=DTR,RTS\n");

    ASSERT_TRUE(link_.device.Listen());
    ASSERT_TRUE(link_.device.Accept(30s));
    EXPECT_EQ(WaitForLines(client_, port_, kAllUp, 5s), kAllUp);
    EXPECT_EQ(client_.Run(port_, {QStringLiteral("count")}, true),
              "TIOCGICOUNT rc=0 cts=2 dsr=2 dcd=2 rng=0\n");
    // The bytes still pass both ways, unchanged.
    ASSERT_TRUE(holder_.WriteAll(QByteArray("\x00\xff\x11\x13", 4)));
    EXPECT_EQ(link_.device.ReadExactly(4, 10s), QByteArray("\x00\xff\x11\x13", 4));
    ASSERT_TRUE(link_.device.SendAll(QByteArray("\x13\x11", 2), 10s));
    EXPECT_EQ(holder_.ReadExactly(2), QByteArray("\x13\x11", 2));
}

// Descriptors that are not the program's port: with the library every
// request gives exactly what it gives without. One of the terminals has a
// record in the port directory that no live program holds, as one killed
// mid-run leaves behind, naming that very terminal.
TEST(ModemLinesElsewhere, OtherDescriptorsGetExactlyTheirUsualAnswers) {
    QTemporaryDir portDir;
    ASSERT_TRUE(portDir.isValid());
    ::chmod(QFile::encodeName(portDir.path()).constData(), 0700);
    const ModemClient client(portDir.path());

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QByteArray pty = ::ptsname(master);

    const int staleMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(staleMaster, 0);
    ::grantpt(staleMaster);
    ::unlockpt(staleMaster);
    const QByteArray stalePty = ::ptsname(staleMaster);
    struct stat slave {};
    ASSERT_EQ(::stat(stalePty.constData(), &slave), 0);
    LineStateRecord record{};
    std::memcpy(record.magic, LineStateRecord::kMagic, sizeof record.magic);
    record.version = LineStateRecord::kVersion;
    record.device = slave.st_rdev;
    record.linkUp = 1;
    record.dtr = record.rts = 1;
    char name[4096];
    ASSERT_TRUE(LineStateFileName(QFile::encodeName(portDir.path()).constData(), slave.st_rdev,
                                  name, sizeof name));
    QFile stale(QFile::decodeName(name));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(reinterpret_cast<const char *>(&record), sizeof record);
    stale.close();
    ::chmod(name, 0600);

    const QString regular = portDir.filePath(QStringLiteral("plain-file"));
    QFile file(regular);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("some bytes");
    file.close();

    for (const QByteArray &path : {pty, stalePty, QFile::encodeName(regular)}) {
        SCOPED_TRACE(path.constData());
        const QByteArray without = client.Run(path, {QStringLiteral("probe")}, false);
        EXPECT_FALSE(without.startsWith("FAILED")) << without.constData();
        EXPECT_EQ(client.Run(path, {QStringLiteral("probe")}, true), without);
    }
    ::close(master);
    ::close(staleMaster);
}

}  // namespace
