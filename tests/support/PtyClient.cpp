#include "PtyClient.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <cerrno>

namespace {

// A short wait for the descriptor, then one pass of the event loop, so that
// neither side is starved when both run on one thread.
bool WaitBriefly(int fd, short events) {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, 1) > 0 && (p.revents & events) != 0;
}

}  // namespace

void RunEventLoopFor(std::chrono::milliseconds duration) {
    if (QCoreApplication::instance() == nullptr) {
        QThread::msleep(static_cast<unsigned long>(duration.count()));
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

PtyClient::~PtyClient() {
    Close();
}

bool PtyClient::Open(const QByteArray &path) {
    Close();
    do {
        fd_ = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    return fd_ >= 0;
}

void PtyClient::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

qint64 PtyClient::WriteSome(const char *data, qint64 size) {
    for (;;) {
        const ssize_t n = ::write(fd_, data, static_cast<size_t>(size));
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

bool PtyClient::WaitWritable(Millis timeout) {
    const QDeadlineTimer deadline(timeout);
    while (fd_ >= 0 && !WaitBriefly(fd_, POLLOUT)) {
        if (deadline.hasExpired()) return false;
    }
    return fd_ >= 0;
}

bool PtyClient::WriteAll(const QByteArray &bytes, Millis timeout) {
    const QDeadlineTimer deadline(timeout);
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = WriteSome(bytes.constData() + done, bytes.size() - done);
        if (n < 0) return false;
        done += n;
        if (done < bytes.size()) {
            if (deadline.hasExpired()) return false;
            WaitBriefly(fd_, POLLOUT);
        }
    }
    return true;
}

QByteArray PtyClient::ReadExactly(qsizetype count, Millis timeout) {
    const QDeadlineTimer deadline(timeout);
    QByteArray bytes;
    bytes.reserve(count);
    char buffer[65536];
    while (bytes.size() < count && fd_ >= 0) {
        const ssize_t n =
            ::read(fd_, buffer, std::min<size_t>(sizeof buffer, count - bytes.size()));
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if ((n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) || deadline.hasExpired()) break;
        WaitBriefly(fd_, POLLIN);
    }
    return bytes;
}

QByteArray PtyClient::ReadUntilQuiet(Millis quiet, Millis timeout) {
    const QDeadlineTimer deadline(timeout);
    QDeadlineTimer quietUntil(quiet);
    QByteArray bytes;
    char buffer[65536];
    while (!quietUntil.hasExpired() && !deadline.hasExpired() && fd_ >= 0) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            quietUntil.setRemainingTime(quiet);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
        WaitBriefly(fd_, POLLIN);
    }
    return bytes;
}

bool PtyClient::GetTermios(termios *settings) const {
    return ::tcgetattr(fd_, settings) == 0;
}

bool PtyClient::SetTermios(const termios &settings) {
    return ::tcsetattr(fd_, TCSANOW, &settings) == 0;
}

bool PtyClient::SetRaw() {
    termios t{};
    if (!GetTermios(&t)) return false;
    ::cfmakeraw(&t);
    return SetTermios(t);
}

bool PtyClient::SetCooked() {
    termios t{};
    if (!GetTermios(&t)) return false;
    t.c_iflag = BRKINT | ICRNL | IXON | IMAXBEL;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ISIG | ICANON | IEXTEN | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE;
    t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB)) | CS8 | CREAD;
    return SetTermios(t);
}
