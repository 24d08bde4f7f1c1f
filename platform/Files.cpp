#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

QByteArray Native(const QString &path) {
    return QFile::encodeName(path);
}

int OpenRetrying(const char *path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool WriteFully(int fd, const char *data, qint64 size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// Links are followed so that an INI file kept elsewhere and linked in stays
// where the user put it.
QByteArray ReplaceTarget(const QByteArray &path) {
    struct stat info {};
    if (::lstat(path.constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.constData(), resolved) != nullptr) return QByteArray(resolved);
    }
    return path;
}

QByteArray FolderOf(const QByteArray &path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) return QByteArrayLiteral(".");
    if (slash == 0) return QByteArrayLiteral("/");
    return path.left(slash);
}

// Makes the rename itself durable; failure only costs durability, so it is
// not reported.
void SyncFolder(const QByteArray &folder) {
    const int fd = OpenRetrying(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool PosixFiles::Exists(const QString &path) {
    struct stat info {};
    return ::stat(Native(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<QByteArray> PosixFiles::ReadAll(const QString &path, qint64 maxBytes) {
    // O_NONBLOCK keeps a FIFO put in the file's place from hanging the open.
    const int fd = OpenRetrying(Native(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maxBytes) {
        ::close(fd);
        return std::nullopt;
    }
    // The file may grow while it is read: read up to one byte past the cap
    // to notice that.
    QByteArray content;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) break;
        content.append(buffer, got);
        if (content.size() > maxBytes) {
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    return content;
}

bool PosixFiles::WriteReplacing(const QString &path, const QByteArray &bytes) {
    const QByteArray target = ReplaceTarget(Native(path));
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = FolderOf(target);
    const QByteArray baseName = target.mid(slash + 1);

    // Only a file is replaced: the rename would as well put a file in the
    // place of a device or FIFO (through a link to /dev/null, /dev/null
    // itself when saving as root). Keep the permissions of the file being
    // replaced; a new file gets rw-r--r-- less the umask, as an ordinary
    // created file would.
    struct stat old {};
    const bool hadOld = ::stat(target.constData(), &old) == 0;
    if (hadOld && !S_ISREG(old.st_mode)) return false;

    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + '/' + '.' + baseName + ".tmp-" + QByteArray::number(::getpid()) + '-' +
               QByteArray::number(attempt);
        fd = OpenRetrying(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = true;
    if (hadOld) ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    ok = ok && WriteFully(fd, bytes.constData(), bytes.size());
    ok = ok && ::fsync(fd) == 0;
    // close() after fsync() reports deferred write errors on some file systems.
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(temp.constData());
        return false;
    }
    SyncFolder(folder);
    return true;
}

bool PosixFiles::IsDirectoryWritable(const QString &directory) {
    const QByteArray native = Native(directory);
    struct stat info {};
    return ::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::access(native.constData(), W_OK | X_OK) == 0;
}

bool PosixFiles::MakeDirectories(const QString &directory) {
    const QByteArray native = Native(directory);
    struct stat info {};
    if (::stat(native.constData(), &info) == 0) return S_ISDIR(info.st_mode);
    // Create each missing level from the top down.
    for (qsizetype slash = native.indexOf('/', 1);; slash = native.indexOf('/', slash + 1)) {
        const QByteArray level = slash < 0 ? native : native.left(slash);
        if (!level.isEmpty() && ::mkdir(level.constData(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash < 0) break;
    }
    return ::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}
