// The port itself: its path (the link in the port directory and what may
// be replaced there), and making and removing the pty behind it. The queues
// are in PtyDriverQueues.cpp, the client's comings and goings in
// PtyDriverPresence.cpp.
#include "platform/PtyDriver.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>
#include <climits>

#include "platform/PortNames.h"

namespace {

// Only a link we could have made (an absolute /dev/pts/<n> target) is taken
// for a leftover of ours, such as one an instance left behind when it was
// killed: when it leads nowhere, or when the number has been given to
// another terminal since and the killed bridge's record for it in the port
// directory is held by no one. A target with a live record is another
// bridge's port; one without a record may be anybody's terminal.
bool IsStaleLinkOfOurs(const QByteArray &path, const QByteArray &directory) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.constData(), target, sizeof target - 1);
    if (length <= 0) return false;
    const QByteArray text(target, length);
    const QByteArray prefix("/dev/pts/");
    if (!text.startsWith(prefix) || text.size() == prefix.size()) return false;
    for (const char c : text.mid(prefix.size())) {
        if (c < '0' || c > '9') return false;
    }
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) return errno == ENOENT;
    return LineStateFile::IsLeftover(directory, text);
}

// True when the path is free for a new link, removing a stale one of ours.
bool ClearPathForLink(const QByteArray &path, const QByteArray &directory) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0) return errno == ENOENT;
    if (!S_ISLNK(info.st_mode) || !IsStaleLinkOfOurs(path, directory)) return false;
    return ::unlink(path.constData()) == 0 || errno == ENOENT;
}

}  // namespace

PtyDriver::PtyDriver(QObject *parent) : SerialPortDriver(parent) {
    readQueue_.SetBlockSize(kReadQueueBound);
    writeQueue_.SetBlockSize(kWriteQueueRoom);
    connect(&watch_, &QTimer::timeout, this, &PtyDriver::OnWatchTick);
}

PtyDriver::~PtyDriver() {
    RemovePort();
}

bool PtyDriver::CreatePort(const QString &name) {
    if (phase_ != Phase::kNoPort) RemovePort();
    const QByteArray link = PreparePortPath(name);
    const QByteArray directory = PortDirectory();
    if (link.isEmpty() || !ClearPathForLink(link, directory)) return false;
    if (!pty_.Open()) return false;
    // Before the link exists, so a client never finds the port without its
    // record. A port without one still relays; only modem lines are missing.
    if (EnsurePortDirectory(directory)) lines_.Create(directory, pty_.SlavePath(), deviceLinkUp_);
    // symlink() refuses to replace anything that appeared since the check.
    if (::symlink(pty_.SlavePath().constData(), link.constData()) != 0) {
        lines_.Remove();
        pty_.Close();
        return false;
    }
    link_ = link;
    const int fd = pty_.MasterFd();
    readNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &PtyDriver::OnReadable);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &PtyDriver::OnWritable);
    if (pty_.OpenCloseWatchFd() >= 0) {
        openCloseNotifier_ =
            std::make_unique<QSocketNotifier>(pty_.OpenCloseWatchFd(), QSocketNotifier::Read);
        connect(openCloseNotifier_.get(), &QSocketNotifier::activated, this,
                &PtyDriver::OnOpenCloseWatch);
    }
    reportedOpen_ = false;
    refillBudget_ = kReadHighWater;
    EnterIdle();
    return true;
}

bool PtyDriver::RemovePort() {
    if (phase_ == Phase::kNoPort) return false;
    watch_.stop();
    openCloseNotifier_.reset();
    readNotifier_.reset();
    writeNotifier_.reset();
    readWatched_ = writeWatched_ = false;
    RemoveLinkIfOurs();
    link_.clear();
    lines_.Remove();
    pty_.Close();
    readQueue_.Clear();
    writeQueue_.Clear();
    readPaused_ = writeAboveHigh_ = false;
    reportedOpen_ = false;
    phase_ = Phase::kNoPort;
    LendQueues();
    return true;
}

bool PtyDriver::RemoveLinkIfOurs() const {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link_.constData(), target, sizeof target - 1);
    if (length <= 0 || QByteArray(target, length) != pty_.SlavePath()) return false;
    return ::unlink(link_.constData()) == 0;
}

void PtyDriver::SetDeviceLinkUp(bool up) {
    deviceLinkUp_ = up;
    lines_.SetLinkUp(up);
}

std::unique_ptr<SerialPortDriver> CreatePtyDriver(QObject *parent) {
    if (!PtyTerminal::Available()) return nullptr;
    return std::make_unique<PtyDriver>(parent);
}
