#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {
using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int rc = ::poll(&p, 1, RemainingMs(deadline));
        if (rc > 0) return true;
        if (rc == 0) return false;
        if (errno != EINTR) return false;
    }
}
}  // namespace

LoopbackServer::LoopbackServer(quint16 port) : LoopbackServer(port, INADDR_LOOPBACK) {}

LoopbackServer::LoopbackServer(quint16 port, quint32 address) : port_(port), address_(address) {
    if (!Listen()) port_ = 0;
}

bool LoopbackServer::Listen() {
    if (listen_ >= 0) return true;
    const quint16 port = port_;
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(address_);
    if (::bind(listen_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(listen_, 8) != 0) {
        ::close(listen_);
        listen_ = -1;
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listen_, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    return true;
}

int LoopbackServer::UnacknowledgedBytes() const {
    int queued = 0;
    if (conn_ < 0 || ::ioctl(conn_, SIOCOUTQ, &queued) != 0) return 0;
    return queued;
}

LoopbackServer::~LoopbackServer() {
    Disconnect();
    StopListening();
}

bool LoopbackServer::Accept(Millis timeout) {
    if (listen_ < 0) return false;
    Disconnect();
    if (!WaitFor(listen_, POLLIN, Clock::now() + timeout)) return false;
    conn_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (conn_ >= 0) {
        const int one = 1;
        ::setsockopt(conn_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return conn_ >= 0;
}

void LoopbackServer::Disconnect() {
    if (conn_ >= 0) ::close(conn_);
    conn_ = -1;
}

void LoopbackServer::StopListening() {
    if (listen_ >= 0) ::close(listen_);
    listen_ = -1;
}

bool LoopbackServer::SendAll(const QByteArray &bytes, Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    qsizetype done = 0;
    while (done < bytes.size()) {
        if (!WaitFor(conn_, POLLOUT, deadline)) return false;
        const ssize_t n = ::send(conn_, bytes.constData() + done,
                                 static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
    }
    return true;
}

QByteArray LoopbackServer::ReadExactly(qsizetype count, Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    QByteArray result;
    result.reserve(count);
    char buffer[65536];
    while (result.size() < count) {
        if (!WaitFor(conn_, POLLIN, deadline)) break;
        const size_t want = static_cast<size_t>(qMin<qsizetype>(count - result.size(), sizeof buffer));
        const ssize_t n = ::recv(conn_, buffer, want, MSG_DONTWAIT);
        if (n > 0)
            result.append(buffer, n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return result;
}

QByteArray LoopbackServer::ReadUntilQuiet(Millis quiet, Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    QByteArray result;
    char buffer[65536];
    while (Clock::now() < deadline) {
        const auto until = std::min(deadline, Clock::now() + quiet);
        if (!WaitFor(conn_, POLLIN, until)) break;
        const ssize_t n = ::recv(conn_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            result.append(buffer, n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return result;
}

bool LoopbackServer::WaitPeerClosed(Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    char buffer[4096];
    while (WaitFor(conn_, POLLIN, deadline)) {
        const ssize_t n = ::recv(conn_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0) return true;
        if (n < 0 && errno != EAGAIN && errno != EINTR) return true;
    }
    return false;
}
