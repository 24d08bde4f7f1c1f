#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include "platform/Timer.h"

// Timer over QTimer. Disabled or with interval 0, it does not fire; parked,
// it holds no QTimer running, so an idle program is not woken.
class QtTimer final : public Timer {
    Q_OBJECT
public:
    explicit QtTimer(QObject *parent = nullptr);
    void SetInterval(int milliseconds) override;
    int Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    void Park() override;
    void Unpark() override;
    bool Parked() const override { return parked_; }

private:
    static constexpr int kCoarseFromMs = 20;
    void Apply();
    void OnTimeout();
    QTimer timer_;
    QElapsedTimer grid_;
    int interval_ = 0;
    bool enabled_ = false;
    bool parked_ = false;
    bool catchingUp_ = false;
};
