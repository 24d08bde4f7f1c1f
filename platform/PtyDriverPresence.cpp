// Whether a client holds the port: the phases idle, open and closing, and
// the watches that move between them while costing nothing when nothing
// happens.
#include <QPointer>
#include <QSocketNotifier>

#include "platform/PtyDriver.h"

void PtyDriver::OnWatchTick() {
    const bool wereNone = readQueue_.Empty();
    refillBudget_ = kReadHighWater;
    switch (phase_) {
        case Phase::kIdle:
            LookForClient();
            if (phase_ == Phase::kIdle) StartWatch();
            break;
        case Phase::kOpen:
            // Only runs while reading is held back; the read notifier, which
            // would otherwise see the hang-up, is off.
            if (!readPaused_) {
                watch_.stop();
            } else if (pty_.Poll().hangup) {
                BeginClosing(true);
            }
            break;
        case Phase::kClosing:
            ContinueClosing();
            break;
        case Phase::kNoPort:
            break;
    }
    AnnounceIfBytesArrived(wereNone);
    ReportOpenClose();
}

void PtyDriver::OnOpenCloseWatch() {
    pty_.DrainOpenCloseWatch();
    if (phase_ != Phase::kIdle) return;
    refillBudget_ = kReadHighWater;
    LookForClient();
    AnnounceIfBytesArrived(true);
    ReportOpenClose();
}

void PtyDriver::LookForClient() {
    const PtyTerminal::State state = pty_.Poll();
    if (!state.hangup) {
        EnterOpen();
    } else if (state.readable) {
        // A client opened, wrote and closed before it was noticed (a shell's
        // "echo cmd > port"): report it as a visit.
        BeginClosing(true);
    }
}

void PtyDriver::StartWatch() {
    const bool slow = phase_ == Phase::kIdle && openCloseNotifier_ != nullptr;
    const int interval = slow ? kIdleLookIntervalMs : kWatchIntervalMs;
    if (!watch_.isActive() || watch_.interval() != interval) watch_.start(interval);
}

void PtyDriver::EnterIdle() {
    phase_ = Phase::kIdle;
    // Undo the last client's line settings now, so that the next one's
    // first bytes are not translated before its open has been noticed.
    pty_.EnsureRaw();
    WatchRead(false);
    WatchWrite(false);
    readPaused_ = false;
    readQueue_.Clear();
    writeQueue_.Clear();
    writeAboveHigh_ = false;
    // Look at once: a client may have opened while the last one's bytes were
    // being handed over, and its wake-up was taken then.
    watch_.start(0);
}

void PtyDriver::EnterOpen() {
    phase_ = Phase::kOpen;
    // The previous client may have left its own line settings behind.
    pty_.EnsureRaw();
    readPaused_ = false;
    watch_.stop();
    WatchRead(true);
}

void PtyDriver::BeginClosing(bool clientBytesInKernel) {
    phase_ = Phase::kClosing;
    kernelDrained_ = !clientBytesInKernel;
    readPaused_ = false;
    // Hang-up is permanent now: a read notifier would fire on every pass.
    WatchRead(false);
    WatchWrite(false);
    pty_.DiscardTowardClient();
    lines_.ResetClientLines();
    takenAtLastLook_ = readQueue_.TotalTaken();
    sinceLastTaken_.start();
    StartWatch();
    DropWriteQueue();
    if (phase_ == Phase::kClosing) ContinueClosing();
}

void PtyDriver::ContinueClosing() {
    if (!kernelDrained_) {
        // Would-block means a new client holds the slave: all of the old
        // one's bytes came before that and have been read.
        const Fill result = FillReadQueue(Reads::kUntilEmpty);
        if (result == Fill::kHangup || result == Fill::kWouldBlock) kernelDrained_ = true;
    }
    if (readQueue_.TotalTaken() != takenAtLastLook_ || readingHeldBack_) {
        takenAtLastLook_ = readQueue_.TotalTaken();
        sinceLastTaken_.start();
    }
    if (kernelDrained_ && readQueue_.Empty()) {
        EnterIdle();
    } else if (sinceLastTaken_.hasExpired(kAbandonAfterMs)) {
        if (!kernelDrained_) pty_.DiscardFromClient();
        EnterIdle();
    }
}

void PtyDriver::ReportOpenClose() {
    if (reporting_) return;
    reporting_ = true;
    const QPointer<PtyDriver> alive(this);
    while (phase_ != Phase::kNoPort && reportedOpen_ != (phase_ != Phase::kIdle)) {
        reportedOpen_ = !reportedOpen_;
        emit OnOpenClose(reportedOpen_);
        if (!alive) return;
    }
    reporting_ = false;
}
