#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The TCP client control (the main window's Sock), with the members and the
// state codes of the Winsock control.
class TcpClientControl : public QObject {
    Q_OBJECT
public:
    enum StateCode : short {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnectionPending = 3,
        sckResolvingHost = 4,
        sckHostResolved = 5,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9,
    };
    static constexpr int vbString = 8;

    using QObject::QObject;
    ~TcpClientControl() override = default;

    // Closes the connection at once; pending received data is discarded.
    virtual void Close() = 0;
    // Starts connecting to RemoteHost:RemotePort; returns at once. Progress
    // is seen only through State().
    virtual void Connect() = 0;
    virtual void SetLocalPort(qint32 port) = 0;
    virtual void SetRemoteHost(const QString &host) = 0;
    virtual void SetRemotePort(qint32 port) = 0;
    virtual short State() const = 0;
    // Queues `data` for sending; never blocks.
    virtual void SendData(const QByteArray &data) = 0;
    // Takes up to `maxLen` received bytes into `data`.
    virtual void GetData(QByteArray &data, int type, qint32 maxLen) = 0;

    // Flow control: bytes queued for sending and not yet taken by the kernel.
    virtual qint64 BytesToWrite() const = 0;
    // While paused no DataArrival is raised and the control stops reading
    // from the network once its bounded buffer is full, so TCP holds the
    // device back. Resuming raises DataArrival for what has arrived.
    virtual void SetReceivePaused(bool paused) = 0;
    // Waits, blocking, up to `timeoutMs` until everything queued by SendData
    // has been handed to the kernel and acknowledged by the peer, so a Close
    // that follows loses none of it. Returns the bytes still not acknowledged
    // (0 when all arrived, or when there is no connection to wait for).
    virtual qint64 FlushSendQueue(int timeoutMs) = 0;

signals:
    void DataArrival(qint32 bytesTotal);
    // The peer or the network closed the connection (the Close event),
    // including a peer found dead by keep-alive or by sent data that went
    // unacknowledged too long. Everything the connection brought has been
    // handed out through DataArrival before, paused or not.
    void Closed();
};
