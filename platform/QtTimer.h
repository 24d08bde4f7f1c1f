#pragma once

#include <QTimer>

#include "platform/Timer.h"

// Timer over QTimer. Disabled or with interval 0, it does not fire.
class QtTimer final : public Timer {
    Q_OBJECT
public:
    explicit QtTimer(QObject *parent = nullptr);
    void SetInterval(int milliseconds) override;
    int Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }

private:
    void Apply();
    QTimer timer_;
    int interval_ = 0;
    bool enabled_ = false;
};
