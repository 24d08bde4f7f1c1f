// The client side failing under the real program: a client killed in the
// middle of a transfer, and clients and devices coming and going by the
// thousand without the program accumulating descriptors or memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QThread>
#include <QtEndian>
#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>

#include "support/ByteStream.h"
#include "support/LinkedProgram.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

// What the killed client reports from its own process.
struct ChildProgress {
    std::atomic<quint64> written;  // bytes its write() calls have taken
    std::atomic<quint64> read;
};

// The client as a process of its own, so it can be killed: opens the port
// raw, writes `up` at a steady pace, and reads only the first
// `readLimit` bytes sent to it, then stops reading (a client that hangs).
// Only async-signal-safe calls after fork().
[[noreturn]] void RunChildClient(const char *path, const quint8 *up, quint64 upSize,
                                 quint64 readLimit, ChildProgress *progress) {
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) ::_exit(2);
    termios t{};
    if (::tcgetattr(fd, &t) != 0) ::_exit(3);
    ::cfmakeraw(&t);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) ::_exit(4);
    char sink[4096];
    quint64 written = 0;
    quint64 read = 0;
    for (;;) {
        pollfd p{
            fd,
            static_cast<short>((written < upSize ? POLLOUT : 0) | (read < readLimit ? POLLIN : 0)),
            0};
        ::poll(&p, 1, 100);
        if ((p.revents & POLLIN) != 0) {
            const ssize_t n = ::read(fd, sink, sizeof sink);
            if (n > 0) progress->read.store(read += static_cast<quint64>(n));
        }
        if ((p.revents & POLLOUT) != 0 && written < upSize) {
            const quint64 chunk = upSize - written < 4096 ? upSize - written : 4096;
            const ssize_t n = ::write(fd, up + written, chunk);
            if (n > 0) progress->written.store(written += static_cast<quint64>(n));
            // About 4 MB/s: still writing when it is killed.
            const timespec pause{0, 1000000};
            ::nanosleep(&pause, nullptr);
        }
    }
}

class ScopeExit {
public:
    explicit ScopeExit(std::function<void()> action) : action_(std::move(action)) {}
    ~ScopeExit() { action_(); }
    ScopeExit(const ScopeExit &) = delete;
    ScopeExit &operator=(const ScopeExit &) = delete;

private:
    std::function<void()> action_;
};

bool WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count()) return false;
        QThread::msleep(5);
    }
    return true;
}

// The old client dies with bytes of its own on the way to the device and
// megabytes from the device queued toward it. Everything it wrote still
// reaches the device, before the new client's bytes; nothing queued for it
// reaches the new client.
TEST(ClientFaults, AClientKilledMidTransferIsReplacedByOneThatGetsNothingMeantForIt) {
    LinkedProgram link;
    std::string why;
    ASSERT_TRUE(link.Start(&why)) << why;

    const ByteStream oldUp(21);
    const ByteStream oldDown(22);
    const ByteStream newUp(23);
    const ByteStream newDown(24);
    // More than the old client will have written when it is killed.
    constexpr quint64 kOldUpSize = 16 << 20;
    constexpr quint64 kNewSize = 256 << 10;
    const QByteArray oldUpBytes = oldUp.Slice(0, kOldUpSize);
    auto *progress = static_cast<ChildProgress *>(::mmap(
        nullptr, sizeof(ChildProgress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(progress, MAP_FAILED);
    new (progress) ChildProgress{};
    const QByteArray path = link.PortPath();

    // The device reads all along and sends until told to stop.
    std::atomic<bool> stopSending{false};
    std::atomic<bool> stopReading{false};
    std::mutex atDeviceLock;
    QByteArray atDevice;
    std::thread reader([&] {
        while (!stopReading) {
            const QByteArray got =
                StreamIo::ReadUntilQuiet(link.device.ConnectionFd(), 20ms, 100ms);
            const std::lock_guard<std::mutex> hold(atDeviceLock);
            atDevice += got;
        }
    });
    StreamIo::Result sent;
    std::atomic<quint64> sending{0};
    std::thread sender([&] {
        sent = StreamIo::Write(link.device.ConnectionFd(), oldDown, 0, 256 << 20, 60s, &sending,
                               &stopSending);
    });

    const pid_t child = ::fork();
    if (child == 0)
        RunChildClient(path.constData(), reinterpret_cast<const quint8 *>(oldUpBytes.constData()),
                       kOldUpSize, 64 << 10, progress);
    // However the test ends, nothing it started outlives it.
    bool reaped = false;
    const ScopeExit cleanUp([&] {
        if (child > 0 && !reaped) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        stopSending = stopReading = true;
        if (sender.joinable()) sender.join();
        if (reader.joinable()) reader.join();
        ::munmap(progress, sizeof(ChildProgress));
    });
    ASSERT_GT(child, 0);
    // Mid-transfer: the client has written some of its bytes, has read what
    // it was going to, and the device's bytes have piled up in front of it
    // until the program held the device back.
    const bool midway = WaitUntil(
        [&] { return progress->written >= (1 << 20) && progress->read >= (64 << 10); }, 20s);
    quint64 lastSent = sending;
    WaitUntil(
        [&] {
            QThread::msleep(300);
            const bool still = sending == lastSent;
            lastSent = sending;
            return still;
        },
        20s);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    reaped = true;
    stopSending = true;
    sender.join();
    const quint64 oldWritten = progress->written;
    ASSERT_TRUE(midway) << "written " << progress->written << ", read " << progress->read;
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_LT(oldWritten, kOldUpSize);
    // Beyond the program's queue toward a client (1 MiB) and its socket buffers.
    EXPECT_GT(sent.bytes, 3u << 20) << "too little was queued for the old client to tell";

    // Everything the device sent has reached the program, which has dropped
    // what was meant for the dead client.
    EXPECT_TRUE(WaitUntil([&] { return link.device.UnacknowledgedBytes() == 0; }, 10s));
    QThread::msleep(300);
    ASSERT_TRUE(link.program.Running());

    PtyClient client;
    ASSERT_TRUE(client.Open(path));
    ASSERT_TRUE(client.SetRaw());
    const QByteArray newUpBytes = newUp.Slice(0, kNewSize);
    ASSERT_TRUE(client.WriteAll(newUpBytes, 10s));
    // The new client's bytes arriving shows the program has noticed it.
    const bool arrived = WaitUntil(
        [&] {
            const std::lock_guard<std::mutex> hold(atDeviceLock);
            return atDevice.endsWith(newUpBytes);
        },
        10s);
    stopReading = true;
    reader.join();
    ASSERT_TRUE(arrived) << atDevice.size() << " bytes at the device";

    ASSERT_TRUE(link.device.SendAll(newDown.Slice(0, kNewSize), 10s));
    const QByteArray atClient = client.ReadExactly(kNewSize, 10s);
    EXPECT_EQ(atClient.size(), kNewSize);
    EXPECT_TRUE(atClient == newDown.Slice(0, kNewSize))
        << "the new client got bytes meant for the old one";
    EXPECT_TRUE(client.ReadUntilQuiet(200ms, 500ms).isEmpty());

    // The device got the old client's bytes (all that its writes handed to
    // the port, possibly one write more than it lived to count), then the
    // new client's.
    const qsizetype oldPart = atDevice.size() - static_cast<qsizetype>(kNewSize);
    EXPECT_GE(static_cast<quint64>(oldPart), oldWritten);
    EXPECT_LE(static_cast<quint64>(oldPart), oldWritten + 4096);
    EXPECT_TRUE(atDevice.left(oldPart) == oldUpBytes.left(oldPart))
        << "the old client's bytes differ";
    std::printf("  killed client had written %llu bytes; %llu bytes had been sent toward it\n",
                static_cast<unsigned long long>(oldWritten),
                static_cast<unsigned long long>(sent.bytes));
}

QByteArray CycleBytes(quint32 cycle) {
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(cycle, bytes.data());
    return bytes;
}

// Descriptors must come back exactly; memory within a small margin, since
// the allocator keeps some of what is freed. Counted in the state of the
// first cycle's end: link up, port in place, no client.
TEST(ClientFaults, ThousandsOfClientVisitsAndHundredsOfReconnectsLeakNothing) {
    constexpr int clientCycles = 1000;
    constexpr int deviceCycles = 200;
    constexpr qint64 kMemoryMarginKiB = 4 * 1024;

    LinkedProgram link;
    std::string why;
    ASSERT_TRUE(link.Start(&why)) << why;
    auto clientVisit = [&](quint32 cycle) {
        PtyClient client;
        if (!client.Open(link.PortPath())) return false;
        client.SetRaw();
        const bool wrote = client.WriteAll(CycleBytes(cycle));
        client.Close();
        return wrote;
    };
    auto deviceReconnect = [&] {
        link.device.Disconnect();
        return link.device.Accept(10s) && link.program.WaitPortExists(link.comPort, true, 10s);
    };

    ASSERT_TRUE(clientVisit(0));
    ASSERT_EQ(link.device.ReadExactly(4, 10s), CycleBytes(0));
    ASSERT_TRUE(deviceReconnect());
    QThread::msleep(300);
    const int descriptors = link.program.OpenFileDescriptors();
    const qint64 residentKiB = link.program.ResidentKiB();

    for (int cycle = 1; cycle < clientCycles; ++cycle) {
        ASSERT_TRUE(clientVisit(static_cast<quint32>(cycle))) << "cycle " << cycle;
        // Some visits are seen one by one, some run together; either way
        // every byte must come through, in order.
        if (cycle % 3 == 0) QThread::usleep(2000);
    }
    const QByteArray visits = link.device.ReadExactly(4 * (clientCycles - 1), 30s);
    ASSERT_EQ(visits.size(), 4 * (clientCycles - 1));
    for (int cycle = 1; cycle < clientCycles; ++cycle) {
        ASSERT_EQ(visits.mid(4 * (cycle - 1), 4), CycleBytes(static_cast<quint32>(cycle)))
            << "cycle " << cycle;
    }

    for (int cycle = 1; cycle < deviceCycles; ++cycle) {
        ASSERT_TRUE(deviceReconnect())
            << "cycle " << cycle << ": " << link.program.StandardErrorSoFar().toStdString();
    }
    // The link still works after all that.
    PtyClient client;
    ASSERT_TRUE(link.OpenClient(client, &why)) << why;
    client.Close();

    EXPECT_EQ(link.WaitDescriptors(descriptors, 3s), descriptors);
    const qint64 residentAfterKiB = link.program.ResidentKiB();
    std::printf("  %d client visits, %d reconnects: %d descriptors; resident %lld -> %lld KiB\n",
                clientCycles, deviceCycles, descriptors, static_cast<long long>(residentKiB),
                static_cast<long long>(residentAfterKiB));
    if (!kSanitizerBuild) {
        EXPECT_LT(residentAfterKiB - residentKiB, kMemoryMarginKiB);
    }
}

}  // namespace
