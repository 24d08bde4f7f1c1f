#include "platform/PtyDriver.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QPointer>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/PortNames.h"

namespace {

// Only a link we could have made (an absolute /dev/pts/<n> target) that
// leads nowhere is taken for a leftover of ours, such as one an instance
// left behind when it was killed. A live target may be another instance's
// port or, the number having been reused, somebody's terminal.
bool IsStaleLinkOfOurs(const QByteArray &path) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.constData(), target, sizeof target - 1);
    if (length <= 0) return false;
    const QByteArray text(target, length);
    const QByteArray prefix("/dev/pts/");
    if (!text.startsWith(prefix) || text.size() == prefix.size()) return false;
    for (const char c : text.mid(prefix.size())) {
        if (c < '0' || c > '9') return false;
    }
    struct stat info {};
    return ::stat(path.constData(), &info) != 0 && errno == ENOENT;
}

// True when the path is free for a new link, removing a stale one of ours.
bool ClearPathForLink(const QByteArray &path) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0) return errno == ENOENT;
    if (!S_ISLNK(info.st_mode) || !IsStaleLinkOfOurs(path)) return false;
    return ::unlink(path.constData()) == 0 || errno == ENOENT;
}

}  // namespace

PtyDriver::PtyDriver(QObject *parent) : SerialPortDriver(parent) {
    connect(&watch_, &QTimer::timeout, this, &PtyDriver::OnWatchTick);
}

PtyDriver::~PtyDriver() {
    RemovePort();
}

bool PtyDriver::CreatePort(const QString &name) {
    if (phase_ != Phase::kNoPort) RemovePort();
    const QByteArray link = PreparePortPath(name);
    if (link.isEmpty() || !ClearPathForLink(link)) return false;
    if (!pty_.Open()) return false;
    // Before the link exists, so a client never finds the port without its
    // record. A port without one still relays; only modem lines are missing.
    const QByteArray directory = PortDirectory();
    if (EnsurePortDirectory(directory)) lines_.Create(directory, pty_.SlavePath(), deviceLinkUp_);
    // symlink() refuses to replace anything that appeared since the check.
    if (::symlink(pty_.SlavePath().constData(), link.constData()) != 0) {
        lines_.Remove();
        pty_.Close();
        return false;
    }
    link_ = link;
    const int fd = pty_.MasterFd();
    readNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &PtyDriver::OnReadable);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &PtyDriver::OnWritable);
    if (pty_.OpenCloseWatchFd() >= 0) {
        openCloseNotifier_ =
            std::make_unique<QSocketNotifier>(pty_.OpenCloseWatchFd(), QSocketNotifier::Read);
        connect(openCloseNotifier_.get(), &QSocketNotifier::activated, this,
                &PtyDriver::OnOpenCloseWatch);
    }
    reportedOpen_ = false;
    refillBudget_ = kReadHighWater;
    EnterIdle();
    return true;
}

bool PtyDriver::RemovePort() {
    if (phase_ == Phase::kNoPort) return false;
    watch_.stop();
    openCloseNotifier_.reset();
    readNotifier_.reset();
    writeNotifier_.reset();
    readWatched_ = writeWatched_ = false;
    RemoveLinkIfOurs();
    link_.clear();
    lines_.Remove();
    pty_.Close();
    readQueue_.Clear();
    writeQueue_.Clear();
    readPaused_ = writeAboveHigh_ = false;
    reportedOpen_ = false;
    phase_ = Phase::kNoPort;
    return true;
}

bool PtyDriver::RemoveLinkIfOurs() const {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link_.constData(), target, sizeof target - 1);
    if (length <= 0 || QByteArray(target, length) != pty_.SlavePath()) return false;
    return ::unlink(link_.constData()) == 0;
}

qint32 PtyDriver::BytesAvailable() {
    if (readQueue_.Empty() && refillBudget_ > 0) {
        if (phase_ == Phase::kOpen && !readPaused_) {
            // A hang-up found here is left to the read notifier, which is
            // enabled and will see it too: signals come from the event loop.
            if (FillReadQueue(true) == Fill::kGotBytes) refillBudget_ -= readQueue_.Size();
        } else if (phase_ == Phase::kClosing && !kernelDrained_) {
            const Fill result = FillReadQueue(true);
            if (result == Fill::kGotBytes) {
                refillBudget_ -= readQueue_.Size();
            } else if (result != Fill::kFull) {
                kernelDrained_ = true;
            }
        }
    }
    return static_cast<qint32>(std::min<qsizetype>(readQueue_.Size(), INT_MAX));
}

void PtyDriver::ReadBytes(quint8 *buffer, qint32 &count) {
    if (buffer == nullptr || count <= 0) {
        count = 0;
        return;
    }
    const qsizetype taken = readQueue_.Take(buffer, count);
    count = static_cast<qint32>(taken);
    taken_ += static_cast<quint64>(taken);
    if (readPaused_ && readQueue_.Size() < kReadLowWater) ResumeReading();
}

void PtyDriver::WriteBytes(const quint8 *data, qint32 &count) {
    if (data == nullptr || count <= 0 || phase_ != Phase::kOpen) {
        count = 0;
        return;
    }
    writeQueue_.Append(data, count);
    if (writeQueue_.Size() > kWriteHighWater) writeAboveHigh_ = true;
    if (!writeWatched_) WatchWrite(true);
}

bool PtyDriver::WriteQueueAboveHighWater() const {
    return writeQueue_.Size() > kWriteHighWater;
}

void PtyDriver::SetDeviceLinkUp(bool up) {
    deviceLinkUp_ = up;
    lines_.SetLinkUp(up);
}

void PtyDriver::OnWatchTick() {
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
    ReportOpenClose();
}

void PtyDriver::OnOpenCloseWatch() {
    pty_.DrainOpenCloseWatch();
    if (phase_ != Phase::kIdle) return;
    refillBudget_ = kReadHighWater;
    LookForClient();
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

void PtyDriver::OnReadable() {
    refillBudget_ = kReadHighWater;
    if (phase_ != Phase::kOpen) {
        WatchRead(false);
        return;
    }
    pty_.EnsureRaw();
    switch (FillReadQueue(false)) {
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
    ReportOpenClose();
}

void PtyDriver::OnWritable() {
    if (phase_ != Phase::kOpen) {
        WatchWrite(false);
        return;
    }
    pty_.EnsureRaw();
    bool failed = false;
    while (!writeQueue_.Empty()) {
        const size_t chunk = static_cast<size_t>(std::min(writeQueue_.Size(), kWriteChunk));
        const ssize_t written = ::write(pty_.MasterFd(), writeQueue_.Front(), chunk);
        if (written > 0) {
            writeQueue_.Consume(written);
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
    takenAtLastLook_ = taken_;
    sinceLastTaken_.start();
    StartWatch();
    DropWriteQueue();
    if (phase_ == Phase::kClosing) ContinueClosing();
}

void PtyDriver::ContinueClosing() {
    if (!kernelDrained_) {
        // Would-block means a new client holds the slave: all of the old
        // one's bytes came before that and have been read.
        const Fill result = FillReadQueue(false);
        if (result == Fill::kHangup || result == Fill::kWouldBlock) kernelDrained_ = true;
    }
    if (taken_ != takenAtLastLook_ || readingHeldBack_) {
        takenAtLastLook_ = taken_;
        sinceLastTaken_.start();
    }
    if (kernelDrained_ && readQueue_.Empty()) {
        EnterIdle();
    } else if (sinceLastTaken_.hasExpired(kAbandonAfterMs)) {
        if (!kernelDrained_) pty_.DiscardFromClient();
        EnterIdle();
    }
}

void PtyDriver::PauseReading() {
    readPaused_ = true;
    WatchRead(false);
    // The timer takes over watching for the client's close.
    StartWatch();
}

void PtyDriver::ResumeReading() {
    readPaused_ = false;
    if (phase_ != Phase::kOpen) return;
    watch_.stop();
    WatchRead(true);
}

void PtyDriver::DropWriteQueue() {
    const bool wasAbove = writeAboveHigh_;
    writeQueue_.Clear();
    writeAboveHigh_ = false;
    if (wasAbove) emit WriteQueueDrained();
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

PtyDriver::Fill PtyDriver::FillReadQueue(bool oneRead) {
    for (;;) {
        if (readQueue_.Size() >= kReadHighWater) return Fill::kFull;
        quint8 *room = readQueue_.PrepareAppend(kReadChunk);
        const ssize_t n = ::read(pty_.MasterFd(), room, static_cast<size_t>(kReadChunk));
        if (n > 0) {
            readQueue_.CommitAppend(n);
            if (oneRead) return Fill::kGotBytes;
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
}

void PtyDriver::WatchWrite(bool on) {
    if (writeNotifier_ && writeWatched_ != on) writeNotifier_->setEnabled(on);
    writeWatched_ = on && writeNotifier_;
}

std::unique_ptr<SerialPortDriver> CreatePtyDriver(QObject *parent) {
    if (!PtyTerminal::Available()) return nullptr;
    return std::make_unique<PtyDriver>(parent);
}
