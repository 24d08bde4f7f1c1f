// The relay's timer on a real QTimer: parked it stays enabled but quiet, and
// woken it keeps to the grid it was enabled on, so that what a client writes
// within one interval still leaves together.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <vector>

#include "platform/QtTimer.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

class QtTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        QObject::connect(&timer_, &Timer::Tick, [this] { ticks_.push_back(clock_.elapsed()); });
    }
    void Start(int interval) {
        timer_.SetInterval(interval);
        clock_.start();
        timer_.SetEnabled(true);
    }
    // Runs the event loop until `count` ticks have come, at most `limit` ms.
    void RunUntilTicks(size_t count, qint64 limit = 3000) {
        while (ticks_.size() < count && clock_.elapsed() < limit)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }

    QtTimer timer_;
    QElapsedTimer clock_;
    std::vector<qint64> ticks_;
};

TEST_F(QtTimerTest, AParkedTimerStaysEnabledAndQuietAndWakesOnItsGrid) {
    Start(200);
    RunUntilTicks(1);
    ASSERT_EQ(ticks_.size(), 1u);
    timer_.Park();
    EXPECT_TRUE(timer_.Enabled());
    EXPECT_TRUE(timer_.Parked());
    RunEventLoopFor(std::chrono::milliseconds(460 - clock_.elapsed()));
    EXPECT_EQ(ticks_.size(), 1u) << "ticked while parked";

    // Woken 60 ms past the grid point at 400 ms: the next tick is at 600,
    // not a whole interval after the wake-up (660).
    timer_.Unpark();
    EXPECT_FALSE(timer_.Parked());
    RunUntilTicks(3);
    ASSERT_EQ(ticks_.size(), 3u);
    EXPECT_GE(ticks_[1], 590);
    EXPECT_LT(ticks_[1], 650);
    // Then the interval again, on the same grid.
    EXPECT_GE(ticks_[2] - ticks_[1], 180);
}

TEST_F(QtTimerTest, DisablingOrANewIntervalEndsTheParkingAndAOneMillisecondTimerWakesAtOnce) {
    Start(50);
    timer_.Park();
    timer_.SetEnabled(false);
    EXPECT_FALSE(timer_.Parked());
    timer_.Unpark();  // nothing to wake: a disabled timer stays quiet
    RunEventLoopFor(120ms);
    EXPECT_TRUE(ticks_.empty());

    Start(1);
    RunUntilTicks(1);
    timer_.Park();
    RunEventLoopFor(30ms);
    const size_t before = ticks_.size();
    const qint64 woken = clock_.elapsed();
    timer_.Unpark();
    RunUntilTicks(before + 1);
    ASSERT_EQ(ticks_.size(), before + 1);
    EXPECT_LE(ticks_.back() - woken, 5);

    timer_.Park();
    timer_.SetInterval(20);
    EXPECT_FALSE(timer_.Parked());
    RunUntilTicks(before + 2);
    EXPECT_EQ(ticks_.size(), before + 2) << "a new interval restarts a parked timer";
}

}  // namespace
