#include "lines/PortRecord.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Unix98 pty slaves: majors 136 to 143.
constexpr unsigned kFirstPtsMajor = 136;
constexpr unsigned kLastPtsMajor = 143;

// The bridge's rule for the port directory (PortNames.h), without Qt:
// $VASKORLINK_PORT_DIR, else $XDG_RUNTIME_DIR/vaskorlink (absolute only),
// else /tmp/vaskorlink-<uid>.
bool PortDirectory(char *out, size_t size) {
    const char *configured = getenv("VASKORLINK_PORT_DIR");
    int length;
    if (configured != nullptr && configured[0] != '\0') {
        length = snprintf(out, size, "%s", configured);
    } else if (const char *runtime = getenv("XDG_RUNTIME_DIR");
               runtime != nullptr && runtime[0] == '/') {
        length = snprintf(out, size, "%s/vaskorlink", runtime);
    } else {
        length = snprintf(out, size, "/tmp/vaskorlink-%u", static_cast<unsigned>(geteuid()));
    }
    return length > 0 && static_cast<size_t>(length) < size;
}

bool ReadAt(int fd, void *data, size_t size, off_t offset) {
    ssize_t got;
    do {
        got = pread(fd, data, size, offset);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(size);
}

bool WriteAt(int fd, const void *data, size_t size, off_t offset) {
    ssize_t written;
    do {
        written = pwrite(fd, data, size, offset);
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(size);
}

}  // namespace

PortRecord::~PortRecord() {
    if (fd_ >= 0) close(fd_);
}

bool PortRecord::OpenFor(int fd) {
    struct stat slave {};
    if (fstat(fd, &slave) != 0 || !S_ISCHR(slave.st_mode)) return false;
    const unsigned majorNumber = major(slave.st_rdev);
    if (majorNumber < kFirstPtsMajor || majorNumber > kLastPtsMajor) return false;
    char directory[PATH_MAX];
    char name[PATH_MAX];
    if (!PortDirectory(directory, sizeof directory) ||
        !LineStateFileName(directory, slave.st_rdev, name, sizeof name)) {
        return false;
    }
    fd_ = open(name, O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) return false;
    // Only a record of this user's that nobody else may write is believed.
    struct stat info {};
    LineStateRecord record{};
    if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 || !ReadAt(fd_, &record, sizeof record, 0) ||
        memcmp(record.magic, LineStateRecord::kMagic, sizeof record.magic) != 0 ||
        record.version != LineStateRecord::kVersion || record.device != slave.st_rdev ||
        !StillLive()) {
        close(fd_);
        fd_ = -1;
        return false;
    }
    device_ = slave.st_rdev;
    ptsIndex_ = minor(slave.st_rdev);
    return true;
}

bool PortRecord::StillLive() const {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    // The record is unlinked before its lock goes, so a link count of zero
    // means the bridge has removed the port.
    struct stat info {};
    return fcntl(fd_, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK &&
           fstat(fd_, &info) == 0 && info.st_nlink > 0;
}

bool PortRecord::Read(LineStateRecord &record) const {
    return fd_ >= 0 && ReadAt(fd_, &record, sizeof record, 0) && record.device == device_ &&
           StillLive();
}

bool PortRecord::WriteLines(int dtr, int rts) const {
    const uint8_t lines[2] = {static_cast<uint8_t>(dtr > 0), static_cast<uint8_t>(rts > 0)};
    const off_t at = offsetof(LineStateRecord, dtr);
    if (dtr >= 0 && rts >= 0) return WriteAt(fd_, lines, 2, at);
    if (dtr >= 0) return WriteAt(fd_, &lines[0], 1, at);
    if (rts >= 0) return WriteAt(fd_, &lines[1], 1, at + 1);
    return true;
}

bool PortRecord::WriteSerial(unsigned flags, unsigned customDivisor) const {
    const uint32_t fields[2] = {flags, customDivisor};
    return WriteAt(fd_, fields, sizeof fields, offsetof(LineStateRecord, serialFlags));
}
