#pragma once

#include <QObject>
#include <QString>

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
    // arrived since the last call. Costs no system call.
    virtual qint32 BytesAvailable() = 0;
    // Removes the port created last. The result may be ignored.
    virtual bool RemovePort() = 0;
    // Makes a port of that name for other programs to open. False on failure;
    // then nothing was created.
    virtual bool CreatePort(const QString &name) = 0;
    // Takes up to `count` waiting bytes, oldest first, into `buffer`; sets
    // `count` to the number taken.
    virtual void ReadBytes(quint8 *buffer, qint32 &count) = 0;
    // Queues `count` bytes for the client, in call order. Never drops: the
    // queue grows past the high-water mark if the caller keeps writing, and
    // the caller is expected to hold its source back (see below).
    virtual void WriteBytes(const quint8 *data, qint32 &count) = 0;

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
};
