#pragma once

#include <QObject>

// A UI-thread timer with the members the relay pump uses. Created disabled
// with interval 0; it fires only while enabled and with a non-zero interval.
class Timer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Timer() override = default;
    virtual void SetInterval(int milliseconds) = 0;
    virtual int Interval() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;

signals:
    void Tick();
};
