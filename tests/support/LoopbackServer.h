#pragma once

#include <QByteArray>
#include <chrono>

// A device stand-in for end-to-end tests: a TCP server on 127.0.0.1 with
// blocking, time-limited calls, so a test can script the device's side
// without an event loop. One connection at a time.
class LoopbackServer {
public:
    using Millis = std::chrono::milliseconds;

    // Listens on 127.0.0.1 at `port` (0: any free port).
    explicit LoopbackServer(quint16 port = 0);
    // Listens on `address` (IPv4, host byte order) instead, in the network
    // namespace of the calling thread.
    LoopbackServer(quint16 port, quint32 address);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    quint16 Port() const { return port_; }
    // Waits for the next connection; false on time-out.
    bool Accept(Millis timeout);
    bool Connected() const { return conn_ >= 0; }
    // The current connection's descriptor (-1 without one), for tests that
    // move data on a thread of their own.
    int ConnectionFd() const { return conn_; }
    // Bytes sent that the peer's kernel has not acknowledged yet.
    int UnacknowledgedBytes() const;
    // Listens again at the same port after StopListening().
    bool Listen();
    // Closes the current connection (the device hanging up).
    void Disconnect();
    // Stops listening: further connections are refused.
    void StopListening();

    bool SendAll(const QByteArray &bytes, Millis timeout);
    // Reads exactly `count` bytes, or what came before the time-out.
    QByteArray ReadExactly(qsizetype count, Millis timeout);
    // Reads whatever arrives until nothing has come for `quiet`.
    QByteArray ReadUntilQuiet(Millis quiet, Millis timeout);
    // True when the peer closed the connection within the time-out.
    bool WaitPeerClosed(Millis timeout);

private:
    int listen_ = -1;
    int conn_ = -1;
    quint16 port_ = 0;
    quint32 address_;
};
