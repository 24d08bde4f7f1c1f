#include "platform/LineStateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "platform/LineStateRecord.h"

namespace {

bool WriteAt(int fd, const void *data, size_t size, off_t offset) {
    ssize_t written;
    do {
        written = ::pwrite(fd, data, size, offset);
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(size);
}

// An open-file-description lock: unlike a process lock it is not dropped
// when some other descriptor of this process for the same file is closed,
// and it goes away by itself when the bridge dies.
bool LockWhole(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// The record in `directory` for the character device at `devicePath`, opened
// with `flags` and locked: a regular file of this user's that no live bridge
// holds. -1 when there is none such; `device` and `name` are filled in.
int OpenRecordLocked(const QByteArray &directory, const QByteArray &devicePath, int flags,
                     dev_t &device, char (&name)[4096]) {
    struct stat node {};
    if (::stat(devicePath.constData(), &node) != 0 || !S_ISCHR(node.st_mode)) return -1;
    device = node.st_rdev;
    if (!LineStateFileName(directory.constData(), device, name, sizeof name)) return -1;
    const int fd = ::open(name, flags | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    // Locked first: a live bridge's record is never looked into further.
    struct stat info {};
    if (!LockWhole(fd) || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool LineStateFile::Create(const QByteArray &directory, const QByteArray &slavePath, bool linkUp) {
    Remove();
    dev_t device = 0;
    char name[4096];
    const int fd = OpenRecordLocked(directory, slavePath, O_CREAT, device, name);
    if (fd < 0) return false;
    // Emptied only once locked: a live bridge's record is never touched.
    if (::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    LineStateRecord record{};
    std::memcpy(record.magic, LineStateRecord::kMagic, sizeof record.magic);
    record.version = LineStateRecord::kVersion;
    record.device = device;
    record.linkUp = linkUp ? 1 : 0;
    record.dtr = record.rts = 1;
    if (!WriteAt(fd, &record, sizeof record, 0)) {
        ::unlink(name);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = name;
    linkUp_ = linkUp;
    linkChanges_ = 0;
    return true;
}

bool LineStateFile::IsLeftover(const QByteArray &directory, const QByteArray &devicePath) {
    // Getting the lock is the test: a live bridge holds it. Ours goes with
    // the descriptor.
    dev_t device = 0;
    char name[4096];
    const int fd = OpenRecordLocked(directory, devicePath, 0, device, name);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

void LineStateFile::Remove() {
    if (fd_ < 0) return;
    // Unlinked while still locked, so no client ever sees the record
    // unlocked and taken for a leftover while this bridge still owns it.
    ::unlink(path_.constData());
    ::close(fd_);
    fd_ = -1;
    path_.clear();
}

void LineStateFile::SetLinkUp(bool up) {
    if (up != linkUp_) ++linkChanges_;
    linkUp_ = up;
    if (fd_ < 0) return;
    const quint32 fields[2] = {up ? 1u : 0u, linkChanges_};
    WriteAt(fd_, fields, sizeof fields, offsetof(LineStateRecord, linkUp));
}

void LineStateFile::ResetClientLines() {
    if (fd_ < 0) return;
    const quint8 asserted[2] = {1, 1};
    WriteAt(fd_, asserted, sizeof asserted, offsetof(LineStateRecord, dtr));
}
