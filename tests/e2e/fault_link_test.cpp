// The device side failing under the real program: hanging up in the middle of
// transfers, and refusing connections for a while; and, on the window with
// doubles, attempt after attempt of a long outage.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <thread>

#include "support/BridgeFixture.h"
#include "support/ByteStream.h"
#include "support/LinkedProgram.h"
#include "support/ProcessProbe.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

QByteArray LinkTarget(const QByteArray &path) {
    char target[256];
    const ssize_t length = ::readlink(path.constData(), target, sizeof target);
    return length > 0 ? QByteArray(target, length) : QByteArray();
}

// Each hang-up comes while both directions are in full flow: the client's
// writer keeps going through the hang-up and the reconnect, and the device's
// bytes are still on their way to the client. After the reconnect, what
// either side receives is what the other sent on the new connection,
// preceded at most by the rest of the interrupted transfer: the client's
// bytes the program had not yet sent (contiguous, up to the last one
// written), and the device's bytes that had already reached the program (a
// contiguous continuation of what the client had read). Never anything
// duplicated, out of order, or from an earlier cycle.
TEST(DeviceFaults, HangingUpMidTransferFiftyTimesKeepsTheClientsPortAndItsStreams) {
    // Fewer under the sanitizers, which slow the program several times over.
    constexpr int cycles = kSanitizerBuild ? 25 : 50;
    // The client's writer is still going when the device hangs up and while
    // the program reconnects; the device's writer stops just before it hangs
    // up, with most of its bytes not yet read by the client.
    constexpr quint64 kUpLimit = 8 << 20;
    constexpr quint64 kUpStep = 16 << 10;
    constexpr quint64 kDownLimit = 1 << 20;
    constexpr quint64 kTaken = 64 * 1024;
    constexpr qsizetype kMarker = 4 * 1024;

    LinkedProgram link;
    std::string why;
    ASSERT_TRUE(link.Start(&why)) << why;
    PtyClient client;
    ASSERT_TRUE(link.OpenClient(client, &why)) << why;
    const QByteArray slave = LinkTarget(link.PortPath());
    ASSERT_FALSE(slave.isEmpty());
    quint64 resentTotal = 0;
    quint64 pendingTotal = 0;

    for (int cycle = 0; cycle < cycles; ++cycle) {
        SCOPED_TRACE(testing::Message() << "cycle " << cycle);
        const quint64 seed = 1000 + 4 * static_cast<quint64>(cycle);
        const ByteStream up(seed);
        const ByteStream down(seed + 1);
        const QByteArray upMarker = ByteStream(seed + 2).Slice(0, kMarker);
        const QByteArray downMarker = ByteStream(seed + 3).Slice(0, kMarker);

        std::atomic<bool> stopUp{false};
        std::atomic<bool> stopDown{false};
        StreamIo::Result wroteUp;
        StreamIo::Result wroteDown;
        // Paced, so that the program is not simply saturated: some of the
        // client's bytes are always on their way when the device hangs up.
        std::thread upWriter([&] {
            while (!stopUp && wroteUp.error == 0 && wroteUp.bytes < kUpLimit) {
                const StreamIo::Result part =
                    StreamIo::Write(client.Fd(), up, wroteUp.bytes, kUpStep, 20s, nullptr, &stopUp);
                wroteUp.bytes += part.bytes;
                wroteUp.error = part.error;
                std::this_thread::sleep_for(2ms);
            }
        });
        std::thread downWriter([&] {
            wroteDown = StreamIo::Write(link.device.ConnectionFd(), down, 0, kDownLimit, 20s,
                                        nullptr, &stopDown);
        });
        StreamChecker atDevice(up);
        StreamChecker atClient(down);
        const StreamIo::Result readUp =
            StreamIo::Read(link.device.ConnectionFd(), atDevice, kTaken, 10s);
        const StreamIo::Result readDown = StreamIo::Read(client.Fd(), atClient, kTaken, 10s);
        stopDown = true;
        downWriter.join();
        link.device.Disconnect();
        const bool accepted = link.device.Accept(10s);
        stopUp = true;
        upWriter.join();
        ASSERT_TRUE(readUp.completed) << readUp.bytes << " mismatch at " << readUp.mismatchAt;
        ASSERT_TRUE(readDown.completed) << readDown.bytes << " mismatch at " << readDown.mismatchAt;
        ASSERT_EQ(wroteUp.error, 0);
        ASSERT_EQ(wroteDown.error, 0);
        ASSERT_TRUE(accepted) << link.program.StandardErrorSoFar().toStdString();
        ASSERT_TRUE(link.program.Running());
        // The port a client holds is kept, not made anew.
        ASSERT_EQ(LinkTarget(link.PortPath()), slave);

        ASSERT_TRUE(client.WriteAll(upMarker, 10s));
        const QByteArray toDevice =
            StreamIo::ReadUntilEndsWith(link.device.ConnectionFd(), upMarker, 20s);
        ASSERT_TRUE(toDevice.endsWith(upMarker)) << "received " << toDevice.size();
        const qsizetype resent = toDevice.size() - kMarker;
        ASSERT_GE(wroteUp.bytes, kTaken + static_cast<quint64>(resent));
        EXPECT_EQ(toDevice.left(resent),
                  up.Slice(wroteUp.bytes - static_cast<quint64>(resent), resent))
            << resent << " bytes before the new ones";

        ASSERT_TRUE(link.device.SendAll(downMarker, 10s));
        const QByteArray toClient = StreamIo::ReadUntilEndsWith(client.Fd(), downMarker, 20s);
        ASSERT_TRUE(toClient.endsWith(downMarker)) << "received " << toClient.size();
        const qsizetype pending = toClient.size() - kMarker;
        EXPECT_LE(kTaken + static_cast<quint64>(pending), wroteDown.bytes);
        EXPECT_TRUE(atClient.Feed(toClient.constData(), pending))
            << pending << " bytes before the new ones, mismatch at " << atClient.FirstMismatch();
        resentTotal += static_cast<quint64>(resent);
        pendingTotal += static_cast<quint64>(pending);
    }
    std::printf(
        "  client bytes sent after a reconnect: %llu; device bytes delivered after one: %llu\n",
        static_cast<unsigned long long>(resentTotal),
        static_cast<unsigned long long>(pendingTotal));
    // Nothing else arrives late on either side.
    EXPECT_TRUE(StreamIo::ReadUntilQuiet(client.Fd(), 200ms, 1s).isEmpty());
    EXPECT_TRUE(link.device.ReadUntilQuiet(200ms, 1s).isEmpty());
}

// Offscreen nobody can answer the settings dialog, so the program runs
// unattended: the dialog's text goes to standard error and the dialog is
// answered "Connect" after a pause. So the checks are: the failure is
// reported with the dialog's text, the program stays up without spinning,
// the port is gone while there is no link (and no client), and once the
// device listens again the program is back by itself and relays both ways.
TEST(DeviceFaults, RefusedConnectionsAreReportedAndTheLinkComesBackWithTheDevice) {
    LinkedProgram link(300);
    std::string why;
    ASSERT_TRUE(link.Start(&why)) << why;

    link.device.StopListening();
    link.device.Disconnect();
    ASSERT_TRUE(link.program.WaitStandardErrorContains("Error connecting to host", 10s))
        << link.program.StandardErrorSoFar().toStdString();
    EXPECT_TRUE(link.program.WaitPortExists(link.comPort, false, 2s));

    const qint64 cpuBefore = ProcessProbe::CpuTicks(link.program.Pid());
    QThread::msleep(2000);
    const qint64 cpuTicks = ProcessProbe::CpuTicks(link.program.Pid()) - cpuBefore;
    EXPECT_TRUE(link.program.Running());
    EXPECT_FALSE(link.program.WaitPortExists(link.comPort, true, 0ms));
    // Waiting for the device costs next to nothing: well under a fifth of a
    // core, even in a sanitizer build.
    EXPECT_LT(cpuTicks, ProcessProbe::TicksPerSecond() * 2 / 5) << cpuTicks << " ticks in 2 s";

    ASSERT_TRUE(link.device.Listen());
    ASSERT_TRUE(link.device.Accept(40s)) << link.program.StandardErrorSoFar().toStdString();
    ASSERT_TRUE(link.program.WaitPortExists(link.comPort, true, 10s));
    PtyClient client;
    ASSERT_TRUE(link.OpenClient(client, &why)) << why;
    ASSERT_TRUE(client.WriteAll("back"));
    EXPECT_EQ(link.device.ReadExactly(4, 5s), QByteArray("back"));
    ASSERT_TRUE(link.device.SendAll("again", 5s));
    EXPECT_EQ(client.ReadExactly(5), QByteArray("again"));
}

// While it waits for the device to come back, in the pause between attempts
// or within an attempt's long time-out, a termination ends it at once and
// cleanly, its settings saved.
TEST(DeviceFaults, ATerminationDuringAnOutageEndsTheProgramPromptly) {
    for (const int timeout : {300, 30000}) {
        SCOPED_TRACE(timeout);
        LinkedProgram link(timeout);
        std::string why;
        ASSERT_TRUE(link.Start(&why)) << why;
        link.device.StopListening();
        link.device.Disconnect();
        if (timeout == 300) {
            ASSERT_TRUE(link.program.WaitStandardErrorContains("trying again", 10s));
        } else {
            QThread::msleep(500);
        }
        QElapsedTimer stopping;
        stopping.start();
        link.program.Signal(SIGTERM);
        EXPECT_EQ(link.program.WaitExit(10s), 0);
        EXPECT_LT(stopping.elapsed(), 2000);
        EXPECT_TRUE(link.program.ReadIni().contains("   RemoteIP     = 127.0.0.1\r\n"));
        EXPECT_FALSE(link.program.WaitPortExists(link.comPort, true, 0ms));
    }
}

// A client that holds the port through the outage keeps it: the same port,
// working again once the device is back.
TEST(DeviceFaults, AClientHoldingThePortKeepsItThroughAnOutage) {
    LinkedProgram link(300);
    std::string why;
    ASSERT_TRUE(link.Start(&why)) << why;
    PtyClient client;
    ASSERT_TRUE(link.OpenClient(client, &why)) << why;
    const QByteArray slave = LinkTarget(link.PortPath());

    link.device.StopListening();
    link.device.Disconnect();
    ASSERT_TRUE(link.program.WaitStandardErrorContains("Error connecting to host", 10s));
    EXPECT_EQ(LinkTarget(link.PortPath()), slave);

    ASSERT_TRUE(link.device.Listen());
    ASSERT_TRUE(link.device.Accept(40s));
    EXPECT_EQ(LinkTarget(link.PortPath()), slave);
    // The program takes up the new connection within a poll of its wait.
    RunEventLoopFor(200ms);
    ASSERT_TRUE(link.device.SendAll("after the outage", 5s));
    EXPECT_EQ(client.ReadExactly(16), QByteArray("after the outage"));
    ASSERT_TRUE(client.WriteAll("ok"));
    EXPECT_EQ(link.device.ReadExactly(2, 5s), QByteArray("ok"));
}

// Run unattended, the program answers every failed attempt with another one,
// for as long as the device is away. Each attempt must start from the same
// depth of the stack: were the next one called from the last, an outage of
// some days would overflow it. Checked on the window with doubles, for both
// failures that lead to another attempt.
class RetriedAttempts : public BridgeFixture {
protected:
    // How far the dialog's answers wander on the stack over `attempts`
    // failures (bytes), the last answer being Cancel.
    qint64 StackSpreadOver(int attempts) {
        quintptr lowest = ~quintptr{0};
        quintptr highest = 0;
        for (int i = 0; i < attempts; ++i) {
            dialog.answers.push_back([&, i, attempts](SettingsDialogVariables &v) {
                const auto here = reinterpret_cast<quintptr>(__builtin_frame_address(0));
                lowest = std::min(lowest, here);
                highest = std::max(highest, here);
                v.CancelSettings = i + 1 == attempts;
            });
        }
        window->ConnectToHost();
        EXPECT_TRUE(dialog.answers.empty());
        return static_cast<qint64>(highest - lowest);
    }
};

TEST_F(RetriedAttempts, RefusedConnectionsRetriedAgainAndAgainDoNotDeepenTheStack) {
    Load();
    window->TcpTimeout = 0;
    sock.stateAfterConnect = TcpClientControl::sckError;
    EXPECT_LT(StackSpreadOver(2000), 4096);
    EXPECT_EQ(dialog.errorMessagesShown.count(QStringLiteral("Error connecting to host")), 2000);
}

TEST_F(RetriedAttempts, RefusedPortsRetriedAgainAndAgainDoNotDeepenTheStack) {
    Load();
    sock.stateAfterConnect = TcpClientControl::sckConnected;
    driver->createResult = false;
    EXPECT_LT(StackSpreadOver(2000), 4096);
    EXPECT_EQ(driver->created.size(), 2000);
}

}  // namespace
