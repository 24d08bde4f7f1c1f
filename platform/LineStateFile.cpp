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

}  // namespace

bool LineStateFile::Create(const QByteArray &directory, const QByteArray &slavePath, bool linkUp) {
    Remove();
    struct stat slave {};
    if (::stat(slavePath.constData(), &slave) != 0 || !S_ISCHR(slave.st_mode)) return false;
    char name[4096];
    if (!LineStateFileName(directory.constData(), slave.st_rdev, name, sizeof name)) return false;
    const int fd = ::open(name, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat info {};
    // Locked first, emptied after: a live bridge's record is never touched.
    if (!LockWhole(fd) || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::geteuid() || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    LineStateRecord record{};
    std::memcpy(record.magic, LineStateRecord::kMagic, sizeof record.magic);
    record.version = LineStateRecord::kVersion;
    record.device = slave.st_rdev;
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
    struct stat device {};
    if (::stat(devicePath.constData(), &device) != 0 || !S_ISCHR(device.st_mode)) return false;
    char name[4096];
    if (!LineStateFileName(directory.constData(), device.st_rdev, name, sizeof name)) return false;
    const int fd = ::open(name, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    // Taking the lock is the test: a live bridge holds it, and ours goes
    // with this descriptor.
    struct stat info {};
    const bool leftover = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                          info.st_uid == ::geteuid() && LockWhole(fd);
    ::close(fd);
    return leftover;
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
