#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>

#include "platform/ByteQueue.h"
#include "platform/LineStateFile.h"
#include "platform/PtyTerminal.h"
#include "platform/SerialPortDriver.h"

class QSocketNotifier;

// The virtual serial port as a pseudo-terminal. The port is a symbolic link
// (see PortNames.h) to the slave of a pty whose master this object holds; a
// client opens the link as it would open any serial device.
//
// Every call is non-blocking and made on the UI thread; signals are raised
// from the event loop (timer and descriptor notifications), never from inside
// a call. OnOpenClose is raised one at a time: if a handler runs the event
// loop, changes seen meanwhile are reported after it returns, in order.
//
// Client presence: while no client holds the slave the master reports
// hang-up (a notifier on the master cannot wait for that: hang-up is reported
// at once on every poll, which would spin). Opens and closes of the slave
// wake the driver through an inotify watch on its device node, and the
// master's state is then looked at; a slow timer looks as well, in case a
// wake-up is ever missed. Where inotify is not available the timer looks
// every kWatchIntervalMs instead. While a client holds the port, descriptor
// notifications are used and no timer runs.
//
// Closing: when the client's last close is seen, bytes queued toward it are
// discarded (here and in the kernel), and OnOpenClose(false) is raised once
// the caller has taken every byte the client wrote. If the caller takes none
// of them for kAbandonAfterMs, they are discarded and false is raised anyway,
// so a caller that has stopped relaying cannot keep the port "held" forever;
// a caller that holds its reading back (SetReadingHeldBack) is not stalled,
// and its clock does not run meanwhile.
class PtyDriver final : public SerialPortDriver {
    Q_OBJECT
public:
    // Bounds. Client -> caller is drained once per relay tick, so its high
    // mark holds one 50 ms tick at the ~80 MB/s a pty reaches (4 MB);
    // anything more only adds to what sits in the path when the device
    // stalls. Above high water the master is no longer read (the kernel
    // then holds the client's writes back) until the caller has taken the
    // queue below low water. The queue never exceeds kReadQueueBound.
    static constexpr qsizetype kReadHighWater = 4 << 20;
    static constexpr qsizetype kReadLowWater = 1 << 20;
    static constexpr qsizetype kReadChunk = 64 << 10;
    static constexpr qsizetype kReadQueueBound = kReadHighWater + kReadChunk;
    // Caller -> client: never dropped while the client holds the port;
    // WriteQueueAboveHighWater() above the high mark, WriteQueueDrained()
    // when it falls below the low mark after having been above the high one.
    // This direction is not tied to the tick: bytes are written out as the
    // client takes them, so 1 MiB keeps a pty busy, and above it the caller
    // holds the device back through TCP instead of holding its bytes here.
    static constexpr qsizetype kWriteHighWater = 1 << 20;
    static constexpr qsizetype kWriteLowWater = 256 << 10;
    static constexpr qsizetype kWriteChunk = 64 << 10;
    // The block the queue is given: the mark and a quarter more, for
    // what a caller writes after crossing it and before it holds back.
    static constexpr qsizetype kWriteQueueRoom = kWriteHighWater + kWriteHighWater / 4;
    // How often the master's state is looked at while something is pending
    // (a close, reading held back, or no inotify), and while idle otherwise.
    // Timer wake-ups are what an idle port costs (on a virtual machine about
    // 0.1 ms of CPU each), hence inotify and the slow idle look.
    static constexpr int kWatchIntervalMs = 10;
    static constexpr int kIdleLookIntervalMs = 5000;
    // A closed client's bytes are kept this long for a caller that takes
    // none of them.
    static constexpr int kAbandonAfterMs = 1000;

    explicit PtyDriver(QObject *parent = nullptr);
    ~PtyDriver() override;

    // Queued bytes from the client. When the queue is empty, makes one
    // non-blocking read of the master, so bytes that arrive while the caller
    // drains are counted; those reads are limited to kReadHighWater bytes per
    // return to the event loop, so a client that writes without pause cannot
    // keep a draining caller from ever finishing.
    qint32 PollBytesAvailable() override;
    // Closes the pty and removes the link if it still points at our slave
    // (anything put in its place is left alone). False when there was no
    // port.
    bool RemovePort() override;
    // Replaces a port created before. Refused (false, nothing created, no
    // descriptor kept) for an invalid name, an unusable port directory, or a
    // path that exists and is not a dangling link into /dev/pts/.
    bool CreatePort(const QString &name) override;
    // Never makes a system call, except to resume reading once the queue has
    // fallen below low water.
    void TakeBytes(quint8 *buffer, qint32 &count) override;
    // Queues the bytes; `count` is set to the number accepted: all of them
    // while a client holds the port, 0 otherwise (bytes for a client that has
    // gone are dropped). Never makes a system call: the queue is written
    // out when the event loop sees the master writable.
    void QueueBytes(const quint8 *data, qint32 &count) override;
    bool NothingToTake() override;
    bool WriteQueueAboveHighWater() const override;
    void SetReadingHeldBack(bool held) override { readingHeldBack_ = held; }
    // Published in the port's modem-line record (LineStateFile.h), which is
    // made with the port and removed with it.
    void SetDeviceLinkUp(bool up) override;

    // The link and the slave it points at; empty without a port.
    const QByteArray &LinkPath() const { return link_; }
    const QByteArray &SlavePath() const { return pty_.SlavePath(); }
    // The modem-line record's path; empty when none is published.
    const QByteArray &LineStatePath() const { return lines_.Path(); }

private:
    enum class Phase { kNoPort, kIdle, kOpen, kClosing };
    enum class Fill { kWouldBlock, kFull, kHangup, kGotBytes };

    void OnWatchTick();
    void OnOpenCloseWatch();
    void OnReadable();
    void OnWritable();

    void LookForClient();
    void StartWatch();
    void EnterIdle();
    void EnterOpen();
    void BeginClosing(bool clientBytesInKernel);
    void ContinueClosing();
    void PauseReading();
    void ResumeReading();
    void DropWriteQueue();
    void ReportOpenClose();
    // How far FillReadQueue reads: one read; until a read finds the line
    // discipline's buffer not full (what came after it wakes the notifier
    // again, so a lone request costs no read that finds nothing); or until
    // the kernel has nothing left.
    enum class Reads { kOne, kUntilShort, kUntilEmpty };
    // What one read takes at most from the line discipline's buffer.
    static constexpr qsizetype kLineBufferBytes = 4096;
    Fill FillReadQueue(Reads reads);
    void WatchRead(bool on);
    void WatchWrite(bool on);
    void LendQueues();
    void AnnounceIfBytesArrived(bool wereNone);
    bool RemoveLinkIfOurs() const;

    PtyTerminal pty_;
    LineStateFile lines_;
    bool deviceLinkUp_ = false;
    QByteArray link_;
    Phase phase_ = Phase::kNoPort;
    QTimer watch_;
    std::unique_ptr<QSocketNotifier> openCloseNotifier_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    bool readWatched_ = false;
    bool writeWatched_ = false;

    ByteQueue readQueue_;
    ByteQueue writeQueue_;
    bool readPaused_ = false;
    bool writeAboveHigh_ = false;
    qsizetype refillBudget_ = kReadHighWater;

    // Closing: whether the client's last bytes are all out of the kernel,
    // and whether the caller is still taking the rest.
    bool kernelDrained_ = false;
    quint64 takenAtLastLook_ = 0;
    QElapsedTimer sinceLastTaken_;
    bool readingHeldBack_ = false;

    bool reportedOpen_ = false;
    bool reporting_ = false;
};

// The program's driver object, or nullptr when this system cannot give out
// pseudo-terminals ("driver could not be loaded"). The unique_ptr owns the
// object; a parent, if given, must not outlive it.
std::unique_ptr<SerialPortDriver> CreatePtyDriver(QObject *parent = nullptr);
