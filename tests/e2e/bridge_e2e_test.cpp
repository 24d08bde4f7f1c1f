// The real program between a real device on 127.0.0.1 and a real client on
// its pseudo-terminal port.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>

#include <thread>

#include <QFile>
#include <QRandomGenerator>

#include "support/LoopbackServer.h"
#include "support/ProgramRunner.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

QByteArray AllByteValues() {
    QByteArray bytes;
    for (int value = 0; value < 256; ++value) bytes.append(static_cast<char>(value));
    return bytes;
}

QByteArray RandomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

// What one receive finds once anything has arrived: a single send of the
// program's arrives whole; separate ones do not.
QByteArray FirstArrival(int fd, std::chrono::milliseconds timeout) {
    pollfd watch{fd, POLLIN, 0};
    if (::poll(&watch, 1, static_cast<int>(timeout.count())) != 1) return {};
    char buffer[256];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    return n > 0 ? QByteArray(buffer, n) : QByteArray();
}

class BridgeEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(device.Port(), 0);
        program.WriteIni(ProgramRunner::IniText(QStringLiteral("127.0.0.1"), device.Port(),
                                                QStringLiteral("COM4"), true));
        ASSERT_TRUE(program.Start());
        ASSERT_TRUE(device.Accept(20s)) << program.StandardError().toStdString();
        ASSERT_TRUE(program.WaitPortExists(QStringLiteral("COM4"), true, 10s));
    }
    void OpenClient() {
        ASSERT_TRUE(client.Open(Port()));
        ASSERT_TRUE(client.SetRaw());
        // The program notices the open within a few milliseconds; before
        // that, what the device sends is not delivered.
        RunEventLoopFor(150ms);
    }
    QByteArray Port() const { return QFile::encodeName(program.PortPath(QStringLiteral("COM4"))); }
    int StopProgram() {
        program.Signal(SIGTERM);
        return program.WaitExit(10s);
    }

    LoopbackServer device;
    ProgramRunner program;
    PtyClient client;
};

TEST_F(BridgeEndToEnd, EveryByteValuePassesBothWaysUnchanged) {
    OpenClient();
    ASSERT_TRUE(client.WriteAll(AllByteValues()));
    EXPECT_EQ(device.ReadExactly(256, 5s), AllByteValues());
    ASSERT_TRUE(device.SendAll(AllByteValues(), 5s));
    EXPECT_EQ(client.ReadExactly(256), AllByteValues());
    // Nothing more: no echo, no translation added bytes.
    EXPECT_TRUE(client.ReadUntilQuiet(200ms, 300ms).isEmpty());
    EXPECT_TRUE(device.ReadUntilQuiet(200ms, 300ms).isEmpty());
}

// Devices that take one segment per command rely on this. The relay sleeps
// between the rounds; each wakes it, and its ticks keep to one grid, so
// pieces written just after a tick leave together at the next.
TEST_F(BridgeEndToEnd, WritesWithinOneTickLeaveInOneSendAfterTheRelaySlept) {
    OpenClient();
    for (int round = 0; round < 3; ++round) {
        std::this_thread::sleep_for(200ms);
        ASSERT_TRUE(client.WriteAll("s"));
        ASSERT_EQ(device.ReadExactly(1, 5s), QByteArray("s"));
        for (const char *piece : {"AB", "CD", "EF"}) {
            ASSERT_TRUE(client.WriteAll(piece));
            std::this_thread::sleep_for(3ms);
        }
        EXPECT_EQ(FirstArrival(device.ConnectionFd(), 5s), QByteArray("ABCDEF")) << round;
    }
}

TEST_F(BridgeEndToEnd, AMebibyteEachWayArrivesCompleteAndInOrder) {
    OpenClient();
    const QByteArray up = RandomBytes(1 << 20, 1);
    const QByteArray down = RandomBytes(1 << 20, 2);
    ASSERT_TRUE(client.WriteAll(up, 20s));
    const QByteArray atDevice = device.ReadExactly(up.size(), 20s);
    ASSERT_EQ(atDevice.size(), up.size());
    EXPECT_TRUE(atDevice == up);
    ASSERT_TRUE(device.SendAll(down, 20s));
    const QByteArray atClient = client.ReadExactly(down.size(), 20s);
    ASSERT_EQ(atClient.size(), down.size());
    EXPECT_TRUE(atClient == down);
}

TEST_F(BridgeEndToEnd, DeviceHangingUpIsReconnectedAndAHeldPortSurvives) {
    OpenClient();
    device.Disconnect();
    ASSERT_TRUE(device.Accept(10s));
    EXPECT_TRUE(program.WaitPortExists(QStringLiteral("COM4"), true, 1s));
    ASSERT_TRUE(client.WriteAll("after reconnect"));
    EXPECT_EQ(device.ReadExactly(15, 5s), QByteArray("after reconnect"));
    ASSERT_TRUE(device.SendAll("still here", 5s));
    EXPECT_EQ(client.ReadExactly(10), QByteArray("still here"));
}

TEST_F(BridgeEndToEnd, AClientThatWritesAndClosesAtOnceLosesNothing) {
    const QByteArray command = RandomBytes(10 * 1024, 3);
    ASSERT_TRUE(client.Open(Port()));
    ASSERT_TRUE(client.SetRaw());
    ASSERT_TRUE(client.WriteAll(command));
    client.Close();
    EXPECT_EQ(device.ReadExactly(command.size(), 5s), command);
}

TEST_F(BridgeEndToEnd, TerminationWithoutAClientWritesTheIniFileAndEndsCleanly) {
    EXPECT_EQ(StopProgram(), 0);
    const QByteArray expected =
        "[VASKORLINKPC]\r\n"
        "   Top          = 0\r\n"
        "   Left         = 0\r\n"
        "   RemoteIP     = 127.0.0.1\r\n"
        "   TCPport      = " + QByteArray::number(device.Port()) + "\r\n"
        "   COMport      = COM4\r\n"
        "   AlwaysOnTop  = False\r\n"
        "   AutoStart    = True\r\n"
        "   TcpTimeout   = 5000\r\n"
        "   CTS          = False\r\n"
        "   DCD          = False\r\n"
        "   DSR          = False\r\n";
    EXPECT_EQ(program.ReadIni(), expected);
    EXPECT_FALSE(program.WaitPortExists(QStringLiteral("COM4"), true, 0ms));
    EXPECT_TRUE(device.WaitPeerClosed(2s));
}

TEST_F(BridgeEndToEnd, TerminationIsRefusedWhileAClientHoldsThePort) {
    OpenClient();
    const QByteArray iniBefore = program.ReadIni();
    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitExit(1s), -1);
    EXPECT_EQ(program.ReadIni(), iniBefore);
    // The link keeps running under the refusal message.
    ASSERT_TRUE(client.WriteAll("ping"));
    EXPECT_EQ(device.ReadExactly(4, 5s), QByteArray("ping"));
    client.Close();
    RunEventLoopFor(150ms);
    EXPECT_EQ(StopProgram(), 0);
}

}  // namespace
