#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

QString InstanceLock::LockPath(const QString &key) {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty()) {
        dir = QStringLiteral("/tmp/vaskorlink-%1").arg(getuid());
        ::mkdir(QFile::encodeName(dir).constData(), 0700);
    }
    return dir + QLatin1Char('/') + key + QStringLiteral(".lock");
}

InstanceLock::InstanceLock(const QString &key) {
    const QByteArray path = QFile::encodeName(LockPath(key));
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) return;  // No lock to be had: run rather than refuse to start.
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) held_by_other_ = (errno == EWOULDBLOCK);
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) ::close(fd_);
}
