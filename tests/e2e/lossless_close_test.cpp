// Nothing is lost when one side closes while the other is still behind: the
// device's last bytes reach a client that reads late, a client's last bytes
// reach a device that reads slowly, and the program's own tear-downs send
// what the relay had already taken before the connection closes.
#include <gtest/gtest.h>
#include <signal.h>

#include <QThread>
#include <thread>

#include "support/ByteStream.h"
#include "support/LinkedProgram.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

// Reads from `fd` at about `bytesPerSecond`, checking the stream, until
// `count` bytes have come or `timeout` has passed.
StreamIo::Result ReadPaced(int fd, StreamChecker &checker, quint64 count, quint64 bytesPerSecond,
                           std::chrono::milliseconds timeout) {
    constexpr auto kStep = 125ms;
    const quint64 perStep = bytesPerSecond * kStep.count() / 1000;
    StreamIo::Result total;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (total.bytes < count && std::chrono::steady_clock::now() < deadline) {
        const auto stepEnd = std::chrono::steady_clock::now() + kStep;
        const StreamIo::Result part =
            StreamIo::Read(fd, checker, std::min(perStep, count - total.bytes), kStep);
        total.bytes += part.bytes;
        total.mismatchAt = part.mismatchAt;
        if (part.mismatchAt >= 0) break;
        std::this_thread::sleep_until(stepEnd);
    }
    total.completed = total.bytes == count && total.mismatchAt < 0;
    return total;
}

// The real program linked to a device on 127.0.0.1, with a raw client on
// its port.
class LosslessClose : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(link.Start(&why)) << why;
        ASSERT_TRUE(link.OpenClient(client, &why)) << why;
    }

    LinkedProgram link;
    PtyClient client;
};

TEST_F(LosslessClose, DeviceThatSendsAndClosesReachesAClientThatReadsLate) {
    // The first part fills the port's queue past its high-water mark, so the
    // program stops taking from the socket; the rest, and the close, arrive
    // while it holds back.
    constexpr quint64 kFirst = 17 << 19;
    constexpr quint64 kBytes = 10 << 20;

    const ByteStream stream(71);
    StreamIo::Result first;
    StreamIo::Result rest;
    std::thread device([&] {
        first = StreamIo::Write(link.device.ConnectionFd(), stream, 0, kFirst, 60s);
        std::this_thread::sleep_for(1s);
        rest = StreamIo::Write(link.device.ConnectionFd(), stream, kFirst, kBytes - kFirst, 60s);
        link.device.Disconnect();
    });
    // The client is busy elsewhere while the device finishes and hangs up.
    QThread::msleep(4000);
    StreamChecker checker(stream);
    const StreamIo::Result got = StreamIo::Read(client.Fd(), checker, kBytes, 60s);
    device.join();
    ASSERT_TRUE(first.completed && rest.completed) << "device sent " << first.bytes + rest.bytes;
    EXPECT_TRUE(got.completed) << "client got " << got.bytes << " of " << kBytes
                               << ", first wrong byte at " << got.mismatchAt;
    // The link comes back as after any hang-up, on the same port.
    EXPECT_TRUE(link.device.Accept(20s)) << link.program.StandardErrorSoFar().toStdString();
    EXPECT_TRUE(client.WriteAll("again"));
    EXPECT_EQ(link.device.ReadExactly(5, 10s), QByteArray("again"));
}

// More than the relay's send bound and the port's queue hold together, so
// that the relay holds back, for seconds, with the closed client's last
// bytes still in the port's queue.
TEST_F(LosslessClose, ClientThatWritesAndClosesReachesASlowDevice) {
    constexpr quint64 kBytes = 20 << 20;
    constexpr quint64 kDeviceRate = 1 << 20;

    const ByteStream stream(72);
    StreamIo::Result written;
    std::thread writer([&] {
        written = StreamIo::Write(client.Fd(), stream, 0, kBytes, 60s);
        client.Close();
    });
    StreamChecker checker(stream);
    const StreamIo::Result got =
        ReadPaced(link.device.ConnectionFd(), checker, kBytes, kDeviceRate, 90s);
    writer.join();
    ASSERT_TRUE(written.completed) << "client wrote " << written.bytes;
    EXPECT_TRUE(got.completed) << "device got " << got.bytes << " of " << kBytes
                               << ", first wrong byte at " << got.mismatchAt;
    EXPECT_TRUE(link.program.Running());
}

// A termination request once the client has gone: the relay has taken all
// of the client's bytes, most of them still on their way to a device that
// has not read yet. It reads a moment later, within the bounded wait.
TEST_F(LosslessClose, TerminationSendsWhatTheRelayHadTakenBeforeClosing) {
    // So little that the relay takes all of it, however the ticks split it,
    // and the client's close is reported: what the first tick sends beyond
    // the kernel's buffers stays below the mark at which the next tick holds
    // back. Most of it is still in the program or the kernel.
    constexpr quint64 kBytes = 1 << 20;

    const ByteStream stream(73);
    const StreamIo::Result written = StreamIo::Write(client.Fd(), stream, 0, kBytes, 30s);
    ASSERT_TRUE(written.completed) << "client wrote " << written.bytes;
    client.Close();
    QThread::msleep(1500);
    link.program.Signal(SIGTERM);
    QThread::msleep(1000);
    StreamChecker checker(stream);
    const StreamIo::Result got = StreamIo::Read(link.device.ConnectionFd(), checker, kBytes, 30s);
    EXPECT_TRUE(got.completed) << "device got " << got.bytes << " of " << kBytes;
    EXPECT_EQ(link.program.WaitExit(10s), 0) << link.program.StandardErrorSoFar().toStdString();
    EXPECT_FALSE(link.program.StandardErrorSoFar().contains("were not taken"));
}

// A device that takes nothing: the exit waits its bounded time, then says
// how much the device never took. As little as above, so that the relay has
// taken all of it and the closed client no longer holds the port (more
// would stay in the port for the device, and the port counts as held).
TEST_F(LosslessClose, TerminationReportsWhatADeviceThatNeverReadsDidNotTake) {
    constexpr quint64 kBytes = 1 << 20;

    const StreamIo::Result written = StreamIo::Write(client.Fd(), ByteStream(74), 0, kBytes, 30s);
    ASSERT_TRUE(written.completed) << "client wrote " << written.bytes;
    client.Close();
    QThread::msleep(1500);
    link.program.Signal(SIGTERM);
    EXPECT_EQ(link.program.WaitExit(15s), 0);
    const QByteArray log = link.program.StandardErrorSoFar();
    EXPECT_TRUE(log.contains(" bytes for the device were not taken before the connection closed"))
        << log.toStdString();
}

}  // namespace
