#include "platform/PtyTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

namespace {

// Everything in the slave's termios that could change, drop, add or echo a
// byte on its way through.
constexpr tcflag_t kInputProcessing = IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR |
                                      IGNCR | ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL;
constexpr tcflag_t kLocalProcessing = ECHO | ECHONL | ICANON | ISIG | IEXTEN | EXTPROC;

bool IsRaw(const termios &t) {
    return (t.c_iflag & kInputProcessing) == 0 && (t.c_oflag & OPOST) == 0 &&
           (t.c_lflag & kLocalProcessing) == 0 && (t.c_cflag & (CSIZE | PARENB)) == CS8;
}

void MakeRaw(termios &t) {
    // Without canonical mode VMIN/VTIME decide when the client's read()
    // returns; a client that set cooked mode has them at whatever its
    // canonical settings left there, so give it the plain "one byte" rule.
    if ((t.c_lflag & ICANON) != 0) {
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
    }
    t.c_iflag &= ~kInputProcessing;
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~kLocalProcessing;
    t.c_cflag &= ~(CSIZE | PARENB);
    t.c_cflag |= CS8;
}

void CloseFd(int fd) {
    // Linux releases the descriptor even when close() reports EINTR, so it
    // is not retried.
    ::close(fd);
}

}  // namespace

bool PtyTerminal::Available() {
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    CloseFd(fd);
    return true;
}

bool PtyTerminal::Open() {
    Close();
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    char name[128];
    // Not every C library passes O_NONBLOCK and O_CLOEXEC on to the open.
    const bool ready = ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0 &&
                       ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) == 0 &&
                       ::grantpt(fd) == 0 && ::unlockpt(fd) == 0 &&
                       ::ptsname_r(fd, name, sizeof name) == 0;
    if (!ready) {
        CloseFd(fd);
        return false;
    }
    master_ = fd;
    slavePath_ = QByteArray(name);

    // Until the slave has been opened once, the master never reports
    // hang-up, and hang-up is how an absent client is told apart.
    const int slave = OpenSlave();
    bool ok = slave >= 0;
    if (ok) {
        termios t{};
        ok = ::tcgetattr(slave, &t) == 0;
        if (ok) {
            MakeRaw(t);
            t.c_cc[VMIN] = 1;
            t.c_cc[VTIME] = 0;
            ok = ::tcsetattr(slave, TCSANOW, &t) == 0;
        }
        ok = ok && ::fchmod(slave, 0600) == 0;
        CloseFd(slave);
    }
    if (!ok) {
        Close();
        return false;
    }
    // Watched only after the probe above, which would otherwise be reported.
    openCloseWatch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (openCloseWatch_ >= 0 &&
        ::inotify_add_watch(openCloseWatch_, slavePath_.constData(), IN_OPEN | IN_CLOSE) < 0) {
        CloseFd(openCloseWatch_);
        openCloseWatch_ = -1;
    }
    return true;
}

void PtyTerminal::Close() {
    if (openCloseWatch_ >= 0) CloseFd(openCloseWatch_);
    if (master_ >= 0) CloseFd(master_);
    openCloseWatch_ = master_ = -1;
    slavePath_.clear();
}

PtyTerminal::State PtyTerminal::Poll() const {
    pollfd p{master_, POLLIN, 0};
    int n;
    do {
        n = ::poll(&p, 1, 0);
    } while (n < 0 && errno == EINTR);
    State state;
    if (n > 0) {
        state.hangup = (p.revents & POLLHUP) != 0;
        state.readable = (p.revents & POLLIN) != 0;
    }
    return state;
}

void PtyTerminal::EnsureRaw() const {
    // Termios requests on the master act on the slave's settings.
    termios t{};
    if (::tcgetattr(master_, &t) != 0 || IsRaw(t)) return;
    MakeRaw(t);
    ::tcsetattr(master_, TCSANOW, &t);
}

void PtyTerminal::DiscardTowardClient() const {
    // A flush on the master only empties the kernel's transfer buffer; bytes
    // already in the slave's line discipline survive it and would reach the
    // next client. Flushing the slave's input empties both.
    const int slave = OpenSlave();
    if (slave >= 0) {
        ::tcflush(slave, TCIFLUSH);
        CloseFd(slave);
    }
    ::tcflush(master_, TCOFLUSH);
}

void PtyTerminal::DrainOpenCloseWatch() const {
    // The events themselves do not matter: the master's state is looked at
    // afterwards, and that is what decides.
    alignas(inotify_event) char events[4096];
    ssize_t n;
    do {
        n = ::read(openCloseWatch_, events, sizeof events);
    } while (n > 0 || (n < 0 && errno == EINTR));
}

void PtyTerminal::DiscardFromClient() const {
    ::tcflush(master_, TCIFLUSH);
}

int PtyTerminal::OpenSlave() const {
    const int flags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
#ifdef TIOCGPTPEER
    // Reaches our own slave without a path that could be swapped meanwhile.
    const int peer = ::ioctl(master_, TIOCGPTPEER, flags);
    if (peer >= 0 || (errno != EINVAL && errno != ENOTTY)) return peer;
#endif
    int fd;
    do {
        fd = ::open(slavePath_.constData(), flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
