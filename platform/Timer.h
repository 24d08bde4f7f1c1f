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
    // A parked timer stays enabled but fires no more until Unpark, which
    // resumes it at the next multiple of its interval since it was enabled
    // (at once for a 1 ms interval, the timer's resolution):
    // a relay that sleeps while nothing waits then still ticks in step, so
    // what arrives within one interval leaves together. Disabling, and
    // changing the interval, end the parking.
    virtual void Park() = 0;
    virtual void Unpark() = 0;
    virtual bool Parked() const = 0;

signals:
    void Tick();
};
