#pragma once

#include <vector>

#include "platform/TcpClientControl.h"

class QTcpSocket;

// The TCP client control over QTcpSocket.
//
// The receive side is bounded: the socket's own buffer holds at most
// kReadBufferBytes, so while the caller does not take data (paused) the
// kernel's window fills and TCP holds the device back.
//
// A peer that vanishes without closing is found by keep-alive and by a bound
// on unacknowledged data (see TcpLiveness.h) and reported as Closed().
//
// DataArrival for a short arrival is raised from inside QTcpSocket's
// readyRead, so the device's answer moves on in the pass of the event loop
// that read it (a stream's bytes wait for the next pass). Its handler
// runs the event loop and may close the connection: a socket closed while
// its readyRead is on the stack is kept until that has returned. Every other
// closed socket is deleted at once: a long outage never returns to the
// outermost event loop, so a deleteLater() per attempt would keep every
// failed attempt's socket alive until the device came back. The socket's
// other signals reach this object queued.
class QtTcpClient final : public TcpClientControl {
    Q_OBJECT
public:
    static constexpr qint64 kReadBufferBytes = 512 * 1024;
    // The kernel's own buffers each way (it doubles this for bookkeeping).
    static constexpr int kKernelBufferBytes = 256 * 1024;
    // At most this much per DataArrival while connected, so that a caller
    // that pauses above a mark overshoots it by little; the rest follows in
    // the next DataArrival, queued at once.
    static constexpr qint64 kArrivalChunkBytes = 256 * 1024;
    // Arrivals up to this size are handed out from inside readyRead.
    static constexpr qint64 kPromptArrivalBytes = 4096;

    explicit QtTcpClient(QObject *parent = nullptr);
    ~QtTcpClient() override;

    void Close() override;
    void Connect() override;
    void SetLocalPort(qint32 port) override { localPort_ = port; }
    void SetRemoteHost(const QString &host) override { remoteHost_ = host; }
    void SetRemotePort(qint32 port) override { remotePort_ = port; }
    short State() const override;
    void SendData(const QByteArray &data) override;
    void GetData(QByteArray &data, int type, qint32 maxLen) override;
    qint64 BytesToWrite() const override;
    void SetReceivePaused(bool paused) override;
    qint64 FlushSendQueue(int timeoutMs) override;

    // QTcpSocket objects alive now: one, however many connections were tried.
    int LiveSockets() const;

private:
    void NewSocket();
    void ConnectSignals();
    void OnSocketReadyRead();
    void OnReadyRead();
    void RepostReadyRead();
    void OnConnectionLost();
    void DeleteRetiredSockets();

    QTcpSocket *socket_ = nullptr;
    // Closed sockets not yet deleted, and the sockets whose readyRead is on
    // the stack, innermost last.
    std::vector<QTcpSocket *> retired_;
    std::vector<QTcpSocket *> emitting_;
    bool flushing_ = false;
    // Tells the current socket's queued signals from those of sockets closed
    // since, which may still be in the event queue.
    quint64 generation_ = 0;
    QString remoteHost_;
    qint32 remotePort_ = 0;
    qint32 localPort_ = 0;
    bool failed_ = false;
    bool paused_ = false;
    bool wasConnected_ = false;
    bool lostReported_ = false;
};
