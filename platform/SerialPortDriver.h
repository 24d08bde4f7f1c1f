#pragma once

#include <QObject>
#include <QString>
#include <algorithm>
#include <climits>

#include "platform/ByteQueue.h"

// The virtual serial port driver object (the main window's vCOMM).
//
// Calling order: CreatePort only while no client holds the port;
// BytesAvailable, ReadBytes and WriteBytes only while a client holds it
// (after OnOpenClose(true)); RemovePort only after a successful CreatePort
// and while no client holds the port.
//
// All calls are made on the UI thread and never block. OnOpenClose is raised
// on the UI thread, one at a time, from the event loop.
class SerialPortDriver : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPortDriver() override = default;

    // Bytes written by the client and not yet read, including bytes that
    // arrived since the last call. While bytes are queued it costs no system
    // call; only an empty queue is worth a look at the kernel.
    qint32 BytesAvailable() {
        if (fastRead_ != nullptr && !fastRead_->Empty())
            return static_cast<qint32>(std::min<qsizetype>(fastRead_->Size(), INT_MAX));
        return PollBytesAvailable();
    }
    // Removes the port created last. The result may be ignored.
    virtual bool RemovePort() = 0;
    // Makes a port of that name for other programs to open. False on failure;
    // then nothing was created.
    virtual bool CreatePort(const QString &name) = 0;
    // Takes up to `count` waiting bytes, oldest first, into `buffer`; sets
    // `count` to the number taken.
    void ReadBytes(quint8 *buffer, qint32 &count) {
        if (count == 1 && buffer != nullptr && fastRead_ != nullptr &&
            fastRead_->Size() > fastReadFloor_) {
            *buffer = fastRead_->TakeOne();
            return;
        }
        TakeBytes(buffer, count);
    }
    // Queues `count` bytes for the client, in call order. Never drops: the
    // queue grows past the high-water mark if the caller keeps writing, and
    // the caller is expected to hold its source back (see below).
    void WriteBytes(const quint8 *data, qint32 &count) {
        if (count == 1 && data != nullptr && fastWrite_ != nullptr) {
            fastWrite_->PushOne(*data);
            return;
        }
        QueueBytes(data, count);
    }

    // Whether no byte waits to be taken, for a caller that sleeps until
    // ClientBytesWaiting when none does. A driver that will announce the
    // bytes still in the kernel leaves them there: a look taken here could
    // find a byte that arrived just now, which the caller would then leave
    // waiting unannounced. By default it looks, as BytesAvailable does.
    virtual bool NothingToTake() { return BytesAvailable() == 0; }

    // Flow control toward the client: true while the bytes queued for the
    // client are above the high-water mark. WriteQueueDrained() is raised
    // when the queue falls back below the low-water mark.
    virtual bool WriteQueueAboveHighWater() const = 0;

    // The caller tells the driver that it is holding back from reading
    // because what it read before has not been passed on yet (the device is
    // slow). While held, the bytes of a client that has closed are kept for
    // as long as that takes: a driver may give up on them only while nobody
    // is going to take them.
    virtual void SetReadingHeldBack(bool held) = 0;

    // Whether the link to the device is up. Serial programs that ask for
    // modem lines see CTS, DSR and DCD follow it; it holds across ports, so
    // it may be set before CreatePort and while no port exists.
    virtual void SetDeviceLinkUp(bool up) = 0;

signals:
    void OnOpenClose(bool opened);
    void WriteQueueDrained();
    // The client's bytes are waiting where there were none: raised from the
    // event loop, so a caller that sleeps while nothing waits knows when to
    // look again. Bytes found inside BytesAvailable are not announced.
    void ClientBytesWaiting();

protected:
    // The relay calls the three above once per byte, so the common case is
    // served inline from queues a driver lends here, without a virtual
    // call; the rest goes to the driver proper below. A driver lends a
    // queue only while taking from or adding to it needs nothing else done
    // (no write to arm; reading to resume only at fastReadFloor_). Marks crossed on the inline
    // path are the driver's to notice where its queues shrink.
    virtual qint32 PollBytesAvailable() = 0;
    virtual void TakeBytes(quint8 *buffer, qint32 &count) = 0;
    virtual void QueueBytes(const quint8 *data, qint32 &count) = 0;

    ByteQueue *fastRead_ = nullptr;
    ByteQueue *fastWrite_ = nullptr;
    // Taking inline stops at this many bytes, where the driver has something
    // to do (resume reading below a mark); 0 when nothing.
    qsizetype fastReadFloor_ = 0;
};
