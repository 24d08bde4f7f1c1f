#pragma once

#include <QtGlobal>

// The system's millisecond tick counter and sleep. The tick is 32 bits and
// wraps after about 49.7 days; callers take differences with ElapsedTicks.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, modulo 2^32. Never blocks.
    virtual quint32 TickCount() = 0;
    // Blocks the calling thread for about `milliseconds`.
    virtual void Sleep(int milliseconds) = 0;
};

// Milliseconds from `start` to `now`, correct across one wrap of the counter.
inline quint32 ElapsedTicks(quint32 start, quint32 now) { return now - start; }

// The real clock: a steady (monotonic) clock, so wall-clock changes do not
// disturb time-outs.
class SteadyClock final : public Clock {
public:
    quint32 TickCount() override;
    void Sleep(int milliseconds) override;
};
