// Flow control and load through the real program: a side that stops reading
// holds the other back instead of filling the program's memory, and nothing
// is lost once it reads again.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <thread>

#include "support/ByteStream.h"
#include "support/LinkedProgram.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

constexpr quint64 kMiB = 1 << 20;
// How far the program's resident memory may grow above its idle size while a
// side is stalled: toward the device the port's queue and one tick's bytes
// in the socket (4 MiB each), toward the client about 2 MiB; allowing for
// the allocator, three times the larger.
constexpr qint64 kStalledGrowthKiB = 24 * 1024;

// Waits until `progress` has not moved for `still` (the writer is held
// back), sampling the program's resident memory meanwhile; the highest
// sample.
qint64 WaitUntilHeldBack(const LinkedProgram &link, const std::atomic<quint64> &progress,
                         std::chrono::milliseconds still, std::chrono::milliseconds timeout) {
    QElapsedTimer total;
    total.start();
    QElapsedTimer sinceMove;
    sinceMove.start();
    quint64 last = progress;
    qint64 peak = link.program.ResidentKiB();
    while (sinceMove.elapsed() < still.count() && total.elapsed() < timeout.count()) {
        QThread::msleep(50);
        peak = std::max(peak, link.program.ResidentKiB());
        if (progress != last) {
            last = progress;
            sinceMove.restart();
        }
    }
    return peak;
}

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(link.Start(&why)) << why;
        ASSERT_TRUE(link.OpenClient(client, &why)) << why;
        idleKiB = link.program.ResidentKiB();
        ASSERT_GT(idleKiB, 0);
    }

    LinkedProgram link;
    PtyClient client;
    qint64 idleKiB = 0;
    // Large enough to exceed everything the program and both kernels buffer.
    const quint64 total = (kSanitizerBuild ? 32 : 50) * kMiB;
};

TEST_F(FlowTest, ADeviceThatStopsReadingHoldsTheClientBackAndLosesNothing) {
    const ByteStream stream(7);
    std::atomic<quint64> written{0};
    StreamIo::Result wrote;
    std::thread writer(
        [&] { wrote = StreamIo::Write(client.Fd(), stream, 0, total, 120s, &written); });

    const qint64 peak = WaitUntilHeldBack(link, written, 1500ms, 60s);
    const quint64 heldAt = written;
    StreamChecker checker(stream);
    const StreamIo::Result read = StreamIo::Read(link.device.ConnectionFd(), checker, total, 120s);
    writer.join();

    EXPECT_LT(heldAt, total) << "the client was never held back";
    if (!kSanitizerBuild) {
        EXPECT_LT(peak - idleKiB, kStalledGrowthKiB) << "peak " << peak << " KiB";
    }
    std::printf("  client held back after %llu MiB; resident memory %lld -> %lld KiB\n",
                static_cast<unsigned long long>(heldAt / kMiB), static_cast<long long>(idleKiB),
                static_cast<long long>(peak));
    EXPECT_TRUE(wrote.completed) << wrote.bytes << " written, errno " << wrote.error;
    EXPECT_TRUE(read.completed) << read.bytes << " read, first wrong byte at " << read.mismatchAt;
    EXPECT_TRUE(link.device.ReadUntilQuiet(200ms, 1s).isEmpty());
}

TEST_F(FlowTest, AClientThatStopsReadingHoldsTheDeviceBackAndLosesNothing) {
    const ByteStream stream(8);
    std::atomic<quint64> written{0};
    StreamIo::Result wrote;
    std::thread writer([&] {
        wrote = StreamIo::Write(link.device.ConnectionFd(), stream, 0, total, 120s, &written);
    });

    const qint64 peak = WaitUntilHeldBack(link, written, 1500ms, 60s);
    const quint64 heldAt = written;
    StreamChecker checker(stream);
    const StreamIo::Result read = StreamIo::Read(client.Fd(), checker, total, 120s);
    writer.join();

    EXPECT_LT(heldAt, total) << "the device was never held back";
    if (!kSanitizerBuild) {
        EXPECT_LT(peak - idleKiB, kStalledGrowthKiB) << "peak " << peak << " KiB";
    }
    std::printf("  device held back after %llu MiB; resident memory %lld -> %lld KiB\n",
                static_cast<unsigned long long>(heldAt / kMiB), static_cast<long long>(idleKiB),
                static_cast<long long>(peak));
    EXPECT_TRUE(wrote.completed) << wrote.bytes << " written, errno " << wrote.error;
    EXPECT_TRUE(read.completed) << read.bytes << " read, first wrong byte at " << read.mismatchAt;
    EXPECT_TRUE(StreamIo::ReadUntilQuiet(client.Fd(), 200ms, 1s).isEmpty());
}

// Both directions at once, every byte checked as it arrives. The figures are
// printed for a look; speed targets belong to the benchmarks.
TEST_F(FlowTest, SixtyFourMebibytesEachWayAtOnceArriveCompleteAndInOrder) {
    const quint64 size = (kSanitizerBuild ? 32 : 64) * kMiB;
    const ByteStream up(9);
    const ByteStream down(10);
    StreamChecker atDevice(up);
    StreamChecker atClient(down);
    StreamIo::Result results[4];
    QElapsedTimer clock;
    clock.start();
    std::thread threads[] = {
        std::thread([&] { results[0] = StreamIo::Write(client.Fd(), up, 0, size, 180s); }),
        std::thread(
            [&] { results[1] = StreamIo::Write(link.device.ConnectionFd(), down, 0, size, 180s); }),
        std::thread(
            [&] { results[2] = StreamIo::Read(link.device.ConnectionFd(), atDevice, size, 180s); }),
        std::thread([&] { results[3] = StreamIo::Read(client.Fd(), atClient, size, 180s); }),
    };
    for (std::thread &thread : threads) thread.join();
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;

    const char *names[] = {"client write", "device write", "device read", "client read"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(results[i].completed)
            << names[i] << ": " << results[i].bytes << " bytes, errno " << results[i].error
            << ", first wrong byte at " << results[i].mismatchAt;
    }
    std::printf("  %llu MiB each way in %.1f s: %.1f MB/s in all; %lld bytes lost\n",
                static_cast<unsigned long long>(size / kMiB), seconds,
                2.0 * static_cast<double>(size) / 1e6 / seconds,
                static_cast<long long>(2 * size - atDevice.Received() - atClient.Received()));
    EXPECT_TRUE(link.device.ReadUntilQuiet(200ms, 1s).isEmpty());
    EXPECT_TRUE(StreamIo::ReadUntilQuiet(client.Fd(), 200ms, 1s).isEmpty());
}

}  // namespace
