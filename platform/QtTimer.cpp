#include "platform/QtTimer.h"

QtTimer::QtTimer(QObject *parent) : Timer(parent) {
    connect(&timer_, &QTimer::timeout, this, &Timer::Tick);
}

void QtTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    Apply();
}

void QtTimer::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    Apply();
}

void QtTimer::Apply() {
    if (enabled_ && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}
