#pragma once

#include "platform/TcpClientControl.h"

class QTcpSocket;

// The TCP client control over QTcpSocket.
//
// The receive side is bounded: the socket's own buffer holds at most
// kReadBufferBytes, so while the caller does not take data (paused) the
// kernel's window fills and TCP holds the device back.
class QtTcpClient final : public TcpClientControl {
    Q_OBJECT
public:
    static constexpr qint64 kReadBufferBytes = 4 * 1024 * 1024;

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

private:
    void NewSocket();
    void OnReadyRead();
    void OnDisconnected();
    void OnBytesWritten();

    QTcpSocket *socket_ = nullptr;
    QString remoteHost_;
    qint32 remotePort_ = 0;
    qint32 localPort_ = 0;
    bool failed_ = false;
    bool paused_ = false;
};
