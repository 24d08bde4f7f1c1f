#include "platform/QtTcpClient.h"

#include <QHostAddress>
#include <QTcpSocket>

QtTcpClient::QtTcpClient(QObject *parent) : TcpClientControl(parent) { NewSocket(); }

QtTcpClient::~QtTcpClient() = default;

// A fresh QTcpSocket for every connection: a closed socket may still hold
// queued signals of the old connection, and those must not reach the new one.
void QtTcpClient::NewSocket() {
    if (socket_ != nullptr) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
    }
    socket_ = new QTcpSocket(this);
    socket_->setReadBufferSize(kReadBufferBytes);
    failed_ = false;
    connect(socket_, &QTcpSocket::readyRead, this, &QtTcpClient::OnReadyRead);
    connect(socket_, &QTcpSocket::disconnected, this, &QtTcpClient::OnDisconnected);
    connect(socket_, &QTcpSocket::bytesWritten, this, &QtTcpClient::OnBytesWritten);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // A refused or failed attempt shows as the error state until the
        // next Close; the peer closing shows through disconnected().
        if (error != QAbstractSocket::RemoteHostClosedError) failed_ = true;
    });
    connect(socket_, &QTcpSocket::connected, this, [this] {
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    });
}

// Always a new socket: Close is also called from inside the old socket's
// disconnected() signal, after which QAbstractSocket still does its own
// clean-up, which must not touch the next connection.
void QtTcpClient::Close() { NewSocket(); }

void QtTcpClient::Connect() {
    if (socket_->state() != QAbstractSocket::UnconnectedState) return;
    failed_ = false;
    // A port number beyond 16 bits names no port; cut to 16 bits it would
    // name another one. It fails like a refused connection.
    if (remotePort_ < 0 || remotePort_ > 65535) {
        failed_ = true;
        return;
    }
    if (localPort_ != 0) socket_->bind(QHostAddress::AnyIPv4, static_cast<quint16>(localPort_));
    socket_->connectToHost(remoteHost_, static_cast<quint16>(remotePort_));
}

short QtTcpClient::State() const {
    if (failed_) return sckError;
    switch (socket_->state()) {
        case QAbstractSocket::UnconnectedState: return sckClosed;
        case QAbstractSocket::HostLookupState: return sckResolvingHost;
        case QAbstractSocket::ConnectingState: return sckConnecting;
        case QAbstractSocket::ConnectedState: return sckConnected;
        case QAbstractSocket::BoundState: return sckOpen;
        case QAbstractSocket::ListeningState: return sckListening;
        case QAbstractSocket::ClosingState: return sckClosing;
    }
    return sckError;
}

void QtTcpClient::SendData(const QByteArray &data) {
    if (socket_->state() == QAbstractSocket::ConnectedState) socket_->write(data);
}

void QtTcpClient::GetData(QByteArray &data, int /*type: bytes are passed through unchanged*/,
                          qint32 maxLen) {
    data = socket_->read(maxLen < 0 ? 0 : maxLen);
}

qint64 QtTcpClient::BytesToWrite() const { return socket_->bytesToWrite(); }

void QtTcpClient::SetReceivePaused(bool paused) {
    if (paused_ == paused) return;
    paused_ = paused;
    // Data that arrived while paused gets its DataArrival now; queued, so the
    // caller's handler does not run inside its own call to this function.
    if (!paused_)
        QMetaObject::invokeMethod(this, &QtTcpClient::OnReadyRead, Qt::QueuedConnection);
}

void QtTcpClient::OnReadyRead() {
    if (paused_) return;
    const qint64 available = socket_->bytesAvailable();
    if (available <= 0) return;
    emit DataArrival(static_cast<qint32>(qMin<qint64>(available, INT32_MAX)));
    // Qt does not emit readyRead() again for bytes that arrived while the
    // handler ran the event loop itself (the relay does); without another
    // DataArrival they would sit in the buffer until the device sent more.
    if (!paused_ && socket_->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &QtTcpClient::OnReadyRead, Qt::QueuedConnection);
}

void QtTcpClient::OnDisconnected() {
    // Bytes the device sent just before closing are still delivered first.
    OnReadyRead();
    emit Closed();
}

void QtTcpClient::OnBytesWritten() {
    if (socket_->bytesToWrite() == 0) emit SendQueueDrained();
}
