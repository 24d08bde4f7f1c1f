#include "platform/QtTcpClient.h"

#include <algorithm>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QScopedValueRollback>
#include <QTcpSocket>
#include <QThread>

#include "platform/TcpLiveness.h"

QtTcpClient::QtTcpClient(QObject *parent) : TcpClientControl(parent) { NewSocket(); }

QtTcpClient::~QtTcpClient() = default;

// A fresh QTcpSocket for every connection: the old one may still have queued
// signals in the event queue, and those must not reach the new connection.
void QtTcpClient::NewSocket() {
    if (socket_ != nullptr) {
        socket_->disconnect(this);
        socket_->abort();
        retired_.push_back(socket_);
        socket_ = nullptr;
    }
    DeleteRetiredSockets();
    ++generation_;
    socket_ = new QTcpSocket(this);
    socket_->setReadBufferSize(kReadBufferBytes);
    failed_ = false;
    wasConnected_ = false;
    lostReported_ = false;
    ConnectSignals();
}

void QtTcpClient::ConnectSignals() {
    const quint64 generation = generation_;
    auto forThisSocket = [this, generation](void (QtTcpClient::*handler)()) {
        return [this, generation, handler] {
            if (generation == generation_) (this->*handler)();
        };
    };
    connect(socket_, &QTcpSocket::readyRead, this, forThisSocket(&QtTcpClient::OnSocketReadyRead));
    connect(socket_, &QTcpSocket::disconnected, this,
            forThisSocket(&QtTcpClient::OnConnectionLost), Qt::QueuedConnection);
    // These two touch no caller: direct, so State() is right at once.
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // A wait that timed out ends nothing. A refused or failed attempt
        // shows as the error state until the next Close; a connection that
        // breaks (reset, or found dead by the kernel) is reported as lost.
        if (error == QAbstractSocket::SocketTimeoutError) return;
        if (error != QAbstractSocket::RemoteHostClosedError) failed_ = true;
        if (wasConnected_)
            QMetaObject::invokeMethod(this, [this, generation = generation_] {
                if (generation == generation_) OnConnectionLost();
            }, Qt::QueuedConnection);
    });
    connect(socket_, &QTcpSocket::connected, this, [this] {
        wasConnected_ = true;
        TcpLiveness::Apply(static_cast<int>(socket_->socketDescriptor()));
        socket_->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                                 kKernelBufferBytes);
        socket_->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kKernelBufferBytes);
    });
}

// Always a new socket: Close is also called from inside the handlers of the
// old socket's signals, and the next connection must start clean.
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
    if (socket_->state() != QAbstractSocket::ConnectedState) return;
    socket_->write(data);
    // Into the kernel now, as far as it takes them, rather than on the
    // next pass of the event loop: a request leaves without that delay.
    socket_->flush();
}

void QtTcpClient::GetData(QByteArray &data, int /*type: bytes are passed through unchanged*/,
                          qint32 maxLen) {
    // Into the caller's own block when nobody shares it: a stream's arrivals
    // then reuse one block, warm in the cache, instead of each taking a new one.
    const qint64 size = qMin<qint64>(qMax(maxLen, 0), socket_->bytesAvailable());
    if (!data.isDetached()) data = QByteArray();
    data.resize(size);
    const qint64 got = size > 0 ? socket_->read(data.data(), size) : 0;
    data.truncate(got < 0 ? 0 : got);
}

qint64 QtTcpClient::BytesToWrite() const { return socket_->bytesToWrite(); }

void QtTcpClient::SetReceivePaused(bool paused) {
    if (paused_ == paused) return;
    paused_ = paused;
    // Data that arrived while paused gets its DataArrival now; queued, so the
    // caller's handler does not run inside its own call to this function.
    if (!paused_) RepostReadyRead();
}

qint64 QtTcpClient::FlushSendQueue(int timeoutMs) {
    const QScopedValueRollback flushing(flushing_, true);
    QElapsedTimer elapsed;
    elapsed.start();
    for (;;) {
        if (socket_->state() != QAbstractSocket::ConnectedState) return socket_->bytesToWrite();
        const qint64 buffered = socket_->bytesToWrite();
        const qint64 left =
            buffered + TcpLiveness::Unacknowledged(static_cast<int>(socket_->socketDescriptor()));
        const qint64 remaining = timeoutMs - elapsed.elapsed();
        if (left == 0 || remaining <= 0) return left;
        // Moving Qt's buffer into the kernel needs the socket's own wait;
        // after that only the peer's acknowledgements are awaited.
        if (buffered == 0 || !socket_->waitForBytesWritten(static_cast<int>(qMin<qint64>(remaining, 50))))
            QThread::msleep(static_cast<unsigned long>(qMin<qint64>(remaining, 5)));
    }
}

int QtTcpClient::LiveSockets() const { return static_cast<int>(findChildren<QTcpSocket *>().size()); }

// A closed socket is deleted at once unless one of its readyRead emissions
// is still on the stack: those wait for the next Close, or for this object's
// end as its children.
void QtTcpClient::DeleteRetiredSockets() {
    std::erase_if(retired_, [this](QTcpSocket *socket) {
        if (std::find(emitting_.begin(), emitting_.end(), socket) != emitting_.end()) return false;
        delete socket;
        return true;
    });
}

void QtTcpClient::OnReadyRead() {
    if (paused_) return;
    const qint64 available = socket_->bytesAvailable();
    if (available <= 0) return;
    const quint64 generation = generation_;
    emit DataArrival(static_cast<qint32>(qMin<qint64>(available, kArrivalChunkBytes)));
    // Qt does not emit readyRead() again for bytes that arrived while the
    // handler ran the event loop itself (the relay does); without another
    // DataArrival they would sit in the buffer until the device sent more.
    if (generation == generation_ && !paused_ && socket_->bytesAvailable() > 0) RepostReadyRead();
}

// A short message (an answer, a prompt) goes on in the pass of the event
// loop that read it. A stream's bytes wait for the next pass, which reads
// what else has come meanwhile, so that each DataArrival carries more; so do
// bytes read inside the socket's own wait in FlushSendQueue, where the
// caller is tearing down, not relaying.
void QtTcpClient::OnSocketReadyRead() {
    if (flushing_ || socket_->bytesAvailable() > kPromptArrivalBytes) {
        RepostReadyRead();
        return;
    }
    emitting_.push_back(socket_);
    OnReadyRead();
    emitting_.pop_back();
}

void QtTcpClient::RepostReadyRead() {
    QMetaObject::invokeMethod(this, [this, generation = generation_] {
        if (generation == generation_) OnReadyRead();
    }, Qt::QueuedConnection);
}

void QtTcpClient::OnConnectionLost() {
    if (lostReported_) return;
    lostReported_ = true;
    const quint64 generation = generation_;
    // The connection is over, so what it brought is handed out now even
    // while paused: the caller keeps the port's queue for a client that still
    // holds it, and a Close would throw these bytes away.
    const qint64 available = socket_->bytesAvailable();
    if (available > 0) emit DataArrival(static_cast<qint32>(qMin<qint64>(available, INT32_MAX)));
    if (generation != generation_) return;
    emit Closed();
}

