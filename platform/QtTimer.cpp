#include "platform/QtTimer.h"

QtTimer::QtTimer(QObject *parent) : Timer(parent) {
    connect(&timer_, &QTimer::timeout, this, &QtTimer::OnTimeout);
}

void QtTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    parked_ = false;
    Apply();
}

void QtTimer::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    parked_ = false;
    Apply();
}

void QtTimer::Park() {
    if (!enabled_ || parked_) return;
    parked_ = true;
    catchingUp_ = false;
    timer_.stop();
}

void QtTimer::Unpark() {
    if (!parked_) return;
    parked_ = false;
    if (!enabled_ || interval_ <= 0) return;
    // The first shot only reaches the grid; the timeout puts the interval
    // back. The grid is kept in whole milliseconds: a 1 ms interval is the
    // timer's resolution, every moment is on its grid, and it fires at once.
    const qint64 sinceGridPoint = grid_.elapsed() % interval_;
    catchingUp_ = true;
    timer_.start(interval_ == 1 ? 0 : static_cast<int>(interval_ - sinceGridPoint));
}

void QtTimer::OnTimeout() {
    if (catchingUp_) {
        catchingUp_ = false;
        timer_.start(interval_);
    }
    emit Tick();
}

void QtTimer::Apply() {
    catchingUp_ = false;
    // A coarse timer may fire up to 5 % late, which matters only to the
    // short intervals asked for low latency.
    timer_.setTimerType(interval_ < kCoarseFromMs ? Qt::PreciseTimer : Qt::CoarseTimer);
    if (enabled_ && interval_ > 0) {
        grid_.start();
        timer_.start(interval_);
    } else {
        timer_.stop();
    }
}
