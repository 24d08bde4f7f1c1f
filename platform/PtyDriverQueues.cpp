// The port's two queues and their flow control: bytes between the master
// and the caller, in large blocks toward the kernel and one at a time (or
// inline, see SerialPortDriver.h) toward the caller.
#include <unistd.h>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/PtyDriver.h"

qint32 PtyDriver::PollBytesAvailable() {
    if (readQueue_.Empty() && refillBudget_ > 0) {
        if (phase_ == Phase::kOpen && !readPaused_) {
            // A hang-up found here is left to the read notifier, which is
            // enabled and will see it too: signals come from the event loop.
            if (FillReadQueue(Reads::kOne) == Fill::kGotBytes) refillBudget_ -= readQueue_.Size();
        } else if (phase_ == Phase::kClosing && !kernelDrained_) {
            const Fill result = FillReadQueue(Reads::kOne);
            if (result == Fill::kGotBytes) {
                refillBudget_ -= readQueue_.Size();
            } else if (result != Fill::kFull) {
                kernelDrained_ = true;
            }
        }
    }
    return static_cast<qint32>(std::min<qsizetype>(readQueue_.Size(), INT_MAX));
}

void PtyDriver::TakeBytes(quint8 *buffer, qint32 &count) {
    if (buffer == nullptr || count <= 0) {
        count = 0;
        return;
    }
    const qsizetype taken = readQueue_.Take(buffer, count);
    count = static_cast<qint32>(taken);
    if (readPaused_ && readQueue_.Size() < kReadLowWater) ResumeReading();
}

void PtyDriver::QueueBytes(const quint8 *data, qint32 &count) {
    if (data == nullptr || count <= 0 || phase_ != Phase::kOpen) {
        count = 0;
        return;
    }
    writeQueue_.Append(data, count);
    if (writeQueue_.Size() > kWriteHighWater) writeAboveHigh_ = true;
    if (!writeWatched_) WatchWrite(true);
}

bool PtyDriver::NothingToTake() {
    if (!readQueue_.Empty()) return false;
    // While the read notifier watches, whatever reaches the kernel is
    // announced from the event loop; otherwise (closing, paused) only a
    // look tells.
    if (phase_ == Phase::kOpen && readWatched_) return true;
    return PollBytesAvailable() == 0;
}

bool PtyDriver::WriteQueueAboveHighWater() const {
    return writeQueue_.Size() > kWriteHighWater;
}

void PtyDriver::OnReadable() {
    refillBudget_ = kReadHighWater;
    if (phase_ != Phase::kOpen) {
        WatchRead(false);
        return;
    }
    pty_.EnsureRaw();
    const bool wereNone = readQueue_.Empty();
    // A lone request is read once; a stream, already queued, is read until
    // the kernel has nothing left, which costs fewer passes of the loop.
    switch (FillReadQueue(wereNone ? Reads::kUntilShort : Reads::kUntilEmpty)) {
        case Fill::kFull:
            PauseReading();
            break;
        case Fill::kHangup:
            // Every byte the client wrote before closing has been read: the
            // kernel reports EIO only after them.
            BeginClosing(false);
            break;
        case Fill::kWouldBlock:
        case Fill::kGotBytes:
            break;
    }
    AnnounceIfBytesArrived(wereNone);
    ReportOpenClose();
}

void PtyDriver::OnWritable() {
    if (phase_ != Phase::kOpen) {
        WatchWrite(false);
        return;
    }
    pty_.EnsureRaw();
    // The queue grows inline (SerialPortDriver.h) and shrinks only here, so
    // a queue that went above high water since the last pass still is.
    if (writeQueue_.Size() > kWriteHighWater) writeAboveHigh_ = true;
    bool failed = false;
    while (!writeQueue_.Empty()) {
        const size_t chunk = static_cast<size_t>(std::min(writeQueue_.Size(), kWriteChunk));
        const ssize_t written = ::write(pty_.MasterFd(), writeQueue_.Front(), chunk);
        if (written > 0) {
            writeQueue_.Consume(written);
            // A short write means the kernel's buffer is full: asking again
            // now would only be refused. The notifier says when it has room.
            if (static_cast<size_t>(written) < chunk) break;
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else {
            // EAGAIN: the kernel's buffer is full until the client reads.
            // Anything else: stop asking; the read side notices a client
            // that has gone, and the next WriteBytes asks again.
            failed = written == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
    }
    if (writeQueue_.Empty() || failed) WatchWrite(false);
    if (writeAboveHigh_ && writeQueue_.Size() < kWriteLowWater) {
        writeAboveHigh_ = false;
        emit WriteQueueDrained();
    }
}

void PtyDriver::PauseReading() {
    readPaused_ = true;
    WatchRead(false);  // also lends the queues anew
    // The timer takes over watching for the client's close.
    StartWatch();
}

void PtyDriver::ResumeReading() {
    readPaused_ = false;
    LendQueues();
    if (phase_ != Phase::kOpen) return;
    watch_.stop();
    WatchRead(true);
}

void PtyDriver::DropWriteQueue() {
    const bool wasAbove = writeAboveHigh_ || writeQueue_.Size() > kWriteHighWater;
    writeQueue_.Clear();
    writeAboveHigh_ = false;
    if (wasAbove) emit WriteQueueDrained();
}

PtyDriver::Fill PtyDriver::FillReadQueue(Reads reads) {
    for (;;) {
        if (readQueue_.Size() >= kReadHighWater) return Fill::kFull;
        quint8 *room = readQueue_.PrepareAppend(kReadChunk);
        const ssize_t n = ::read(pty_.MasterFd(), room, static_cast<size_t>(kReadChunk));
        if (n > 0) {
            readQueue_.CommitAppend(n);
            if (reads == Reads::kOne || (reads == Reads::kUntilShort && n < kLineBufferBytes))
                return Fill::kGotBytes;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return Fill::kWouldBlock;
        } else {
            return Fill::kHangup;
        }
    }
}

void PtyDriver::WatchRead(bool on) {
    if (readNotifier_ && readWatched_ != on) readNotifier_->setEnabled(on);
    readWatched_ = on && readNotifier_;
    LendQueues();
}

void PtyDriver::WatchWrite(bool on) {
    if (writeNotifier_ && writeWatched_ != on) writeNotifier_->setEnabled(on);
    writeWatched_ = on && writeNotifier_;
    LendQueues();
}

// Called wherever the phase, the pause or the write watch changes: the
// inline path may take and add bytes exactly while TakeBytes and QueueBytes
// would do nothing but that.
void PtyDriver::LendQueues() {
    fastRead_ = phase_ != Phase::kNoPort ? &readQueue_ : nullptr;
    fastReadFloor_ = readPaused_ ? kReadLowWater : 0;
    fastWrite_ = phase_ == Phase::kOpen && writeWatched_ ? &writeQueue_ : nullptr;
}

// Only bytes that came in from the event loop are announced: the caller
// saw the others itself, in BytesAvailable.
void PtyDriver::AnnounceIfBytesArrived(bool wereNone) {
    if (wereNone && !readQueue_.Empty() && phase_ != Phase::kNoPort) emit ClientBytesWaiting();
}
