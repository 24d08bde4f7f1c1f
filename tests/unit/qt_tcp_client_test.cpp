// The TCP client control on real sockets to 127.0.0.1: what a connection
// brought is handed out before its close even while paused, the send queue
// can be flushed with a bound before closing, a handler may close and
// reconnect from inside DataArrival, and attempt after failed attempt leaves
// no socket behind.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <thread>

#include "platform/QtTcpClient.h"
#include "support/ByteStream.h"
#include "support/LoopbackServer.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

bool RunUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > timeout.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

bool ConnectTo(QtTcpClient &sock, LoopbackServer &device) {
    sock.SetRemoteHost(QStringLiteral("127.0.0.1"));
    sock.SetRemotePort(device.Port());
    sock.Connect();
    return device.Accept(5s) &&
           RunUntil([&] { return sock.State() == TcpClientControl::sckConnected; }, 5s);
}

TEST(QtTcpClient, EverythingTheDeviceSentBeforeClosingArrivesEvenWhilePaused) {
    // Within what the socket's own buffer holds: past it, a paused socket
    // reads nothing more, and the close behind the data cannot be seen.
    constexpr qsizetype kBytes = QtTcpClient::kReadBufferBytes * 3 / 4;
    LoopbackServer device;
    QtTcpClient sock;
    ASSERT_TRUE(ConnectTo(sock, device));
    sock.SetReceivePaused(true);
    QByteArray received;
    bool closedAfterAll = false;
    QObject::connect(&sock, &TcpClientControl::DataArrival, [&](qint32 count) {
        QByteArray part;
        sock.GetData(part, TcpClientControl::vbString, count);
        received += part;
    });
    QObject::connect(&sock, &TcpClientControl::Closed,
                     [&] { closedAfterAll = received.size() == kBytes; });
    const QByteArray bytes = ByteStream(5).Slice(0, kBytes);
    ASSERT_TRUE(device.SendAll(bytes, 10s));
    device.Disconnect();
    ASSERT_TRUE(RunUntil([&] { return closedAfterAll || received.size() == kBytes; }, 10s));
    ASSERT_TRUE(RunUntil([&] { return closedAfterAll; }, 10s)) << received.size();
    EXPECT_TRUE(received == bytes);
}

// GetData refills the caller's own array: a copy taken of it before (one a
// socket's send queue might still hold) keeps its bytes, and a shorter
// arrival leaves nothing of a longer one behind.
TEST(QtTcpClient, GetDataRefillsTheCallersArrayAndLeavesCopiesOfItAlone) {
    LoopbackServer device;
    QtTcpClient sock;
    ASSERT_TRUE(ConnectTo(sock, device));
    QByteArray data;
    std::vector<std::pair<QByteArray, QByteArray>> arrivals;  // shared copy, deep copy
    QObject::connect(&sock, &TcpClientControl::DataArrival, [&](qint32 count) {
        sock.GetData(data, TcpClientControl::vbString, count);
        arrivals.emplace_back(data, QByteArray(data.constData(), data.size()));
    });
    const QByteArray messages[] = {ByteStream(3).Slice(0, 3000), QByteArray("short"),
                                   ByteStream(4).Slice(0, 100)};
    QByteArray sent;
    for (const QByteArray &message : messages) {
        ASSERT_TRUE(device.SendAll(message, 5s));
        sent += message;
        ASSERT_TRUE(RunUntil(
            [&] {
                QByteArray received;
                for (const auto &arrival : arrivals) received += arrival.second;
                return received == sent;
            },
            5s));
    }
    for (const auto &[shared, deep] : arrivals) EXPECT_EQ(shared, deep);
}

TEST(QtTcpClient, FlushWaitsForTheDeviceToTakeWhatWasSentWithinItsBound) {
    constexpr qsizetype kBytes = 6 << 20;
    LoopbackServer device;
    QtTcpClient sock;
    ASSERT_TRUE(ConnectTo(sock, device));
    const QByteArray bytes = ByteStream(6).Slice(0, kBytes);

    // A device that starts reading a moment later gets everything.
    sock.SendData(bytes);
    QByteArray atDevice;
    std::thread reader([&] {
        std::this_thread::sleep_for(300ms);
        atDevice = device.ReadExactly(kBytes, 10s);
    });
    EXPECT_EQ(sock.FlushSendQueue(5000), 0);
    reader.join();
    EXPECT_TRUE(atDevice == bytes);

    // A device that reads nothing: the wait ends at its bound, with what is
    // left counted.
    sock.SendData(bytes);
    QElapsedTimer elapsed;
    elapsed.start();
    const qint64 left = sock.FlushSendQueue(500);
    EXPECT_GT(left, 0);
    EXPECT_LE(left, kBytes);
    EXPECT_GE(elapsed.elapsed(), 450);
    EXPECT_LT(elapsed.elapsed(), 3000);
}

// DataArrival comes from inside the socket's own readyRead. A handler that
// closes there, runs the event loop and connects anew must not pull the old
// socket out from under that call (Qt's code, not instrumented, would write
// into the freed socket unseen), and the old socket must still go once its
// call has returned.
TEST(QtTcpClient, AHandlerMayCloseAndReconnectInsideDataArrival) {
    LoopbackServer first;
    LoopbackServer second;
    QtTcpClient sock;
    ASSERT_TRUE(ConnectTo(sock, first));
    QByteArray received;
    bool reconnected = false;
    int socketsWhileInside = 0;
    QObject::connect(&sock, &TcpClientControl::DataArrival, [&](qint32 count) {
        QByteArray part;
        sock.GetData(part, TcpClientControl::vbString, count);
        received += part;
        if (part.startsWith("first") && !reconnected) {
            sock.Close();
            reconnected = ConnectTo(sock, second);
            socketsWhileInside = sock.LiveSockets();
        }
    });
    ASSERT_TRUE(first.SendAll("first", 5s));
    ASSERT_TRUE(RunUntil([&] { return reconnected; }, 10s));
    ASSERT_TRUE(second.SendAll("second", 5s));
    ASSERT_TRUE(RunUntil([&] { return received.endsWith("second"); }, 10s)) << received.constData();
    EXPECT_EQ(received, QByteArray("firstsecond"));
    EXPECT_EQ(socketsWhileInside, 2);
    sock.Close();
    EXPECT_EQ(sock.LiveSockets(), 1);
}

// The wait for the device to take what was sent hands nothing out from
// inside it: the caller is tearing down, not relaying. The bytes come after.
TEST(QtTcpClient, BytesArrivingDuringAFlushAreHandedOutAfterIt) {
    constexpr qsizetype kBytes = 4 << 20;
    LoopbackServer device;
    QtTcpClient sock;
    ASSERT_TRUE(ConnectTo(sock, device));
    bool flushing = false;
    bool arrivedDuringFlush = false;
    QByteArray received;
    QObject::connect(&sock, &TcpClientControl::DataArrival, [&](qint32 count) {
        arrivedDuringFlush = arrivedDuringFlush || flushing;
        QByteArray part;
        sock.GetData(part, TcpClientControl::vbString, count);
        received += part;
    });
    const QByteArray bytes = ByteStream(7).Slice(0, kBytes);
    sock.SendData(bytes);
    std::thread peer([&] {
        device.SendAll("answer", 5s);
        std::this_thread::sleep_for(100ms);
        device.ReadExactly(kBytes, 10s);
    });
    flushing = true;
    EXPECT_EQ(sock.FlushSendQueue(5000), 0);
    flushing = false;
    peer.join();
    EXPECT_FALSE(arrivedDuringFlush);
    EXPECT_TRUE(RunUntil([&] { return received == "answer"; }, 5s)) << received.constData();
}

TEST(QtTcpClient, FailedAttemptsLeaveNoSocketBehind) {
    quint16 refusing = 0;
    {
        LoopbackServer probe;
        refusing = probe.Port();
    }
    QtTcpClient sock;
    constexpr int kAttempts = kSanitizerBuild ? 200 : 1000;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        sock.Close();
        sock.SetRemoteHost(QStringLiteral("127.0.0.1"));
        sock.SetRemotePort(refusing);
        sock.Connect();
        ASSERT_TRUE(RunUntil([&] { return sock.State() == TcpClientControl::sckError; }, 5s))
            << "attempt " << attempt << " state " << sock.State();
    }
    EXPECT_EQ(sock.LiveSockets(), 1);
}

}  // namespace
