#include "platform/PortNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <QFile>
#include <QList>
#include <cerrno>

namespace {

// Unix98 pseudo-terminal slaves use majors 136 to 143; enough to recognise
// another instance's port when /proc is not mounted.
constexpr unsigned kFirstPtsMajor = 136;
constexpr unsigned kLastPtsMajor = 143;

bool InMinorRange(const QByteArray &range, unsigned minorNumber) {
    const QList<QByteArray> bounds = range.split('-');
    bool okFirst = false;
    bool okLast = false;
    const uint first = bounds.front().toUInt(&okFirst);
    const uint last = bounds.back().toUInt(&okLast);
    return bounds.size() <= 2 && okFirst && okLast && first <= minorNumber && minorNumber <= last;
}

// /proc/tty/drivers lists every terminal driver with its major and minor
// range (name, node, major, minors, type), which separates terminals from
// other character devices without opening them.
bool IsTerminalDevice(dev_t device) {
    const unsigned majorNumber = major(device);
    const unsigned minorNumber = minor(device);
    QFile drivers(QStringLiteral("/proc/tty/drivers"));
    if (!drivers.open(QIODevice::ReadOnly)) {
        return majorNumber >= kFirstPtsMajor && majorNumber <= kLastPtsMajor;
    }
    const QList<QByteArray> lines = drivers.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 5) continue;
        bool ok = false;
        const uint driverMajor = fields[fields.size() - 3].toUInt(&ok);
        if (ok && driverMajor == majorNumber &&
            InMinorRange(fields[fields.size() - 2], minorNumber)) {
            return true;
        }
    }
    return false;
}

QByteArray WithoutTrailingSlashes(QByteArray path) {
    // "dir/" would let open(O_NOFOLLOW) follow a link named "dir".
    while (path.size() > 1 && path.endsWith('/')) path.chop(1);
    return path;
}

}  // namespace

QByteArray PortDirectory() {
    const QByteArray configured = qgetenv("VASKORLINK_PORT_DIR");
    if (!configured.isEmpty()) return WithoutTrailingSlashes(configured);
    // The XDG rules say a relative runtime directory is to be ignored.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/')) return WithoutTrailingSlashes(runtime) + "/vaskorlink";
    return "/tmp/vaskorlink-" + QByteArray::number(::geteuid());
}

bool EnsurePortDirectory(const QByteArray &directory) {
    if (directory.isEmpty()) return false;
    bool created = false;
    if (::mkdir(directory.constData(), 0700) == 0) {
        created = true;
    } else if (errno != EEXIST) {
        return false;
    }
    // Checked through a descriptor opened without following links, so what is
    // checked is what is there, not what a link in its place points at.
    const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
    // The umask may have taken bits from a directory made just now.
    if (ok && created && (info.st_mode & 07777) != 0700) {
        ok = ::fchmod(fd, 0700) == 0 && ::fstat(fd, &info) == 0;
    }
    ok = ok && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    ::close(fd);
    return ok;
}

QByteArray PortPath(const QString &name) {
    if (name.isEmpty() || name.contains(QChar(0)) || name.contains(QLatin1Char('\n'))) return {};
    const QByteArray bytes = name.toLocal8Bit();
    // A name the locale cannot spell would silently become another name.
    if (QString::fromLocal8Bit(bytes) != name) return {};
    if (bytes.contains('/')) return bytes;
    if (bytes == "." || bytes == "..") return {};
    return PortDirectory() + '/' + bytes;
}

QByteArray PreparePortPath(const QString &name) {
    const QByteArray path = PortPath(name);
    if (path.isEmpty()) return {};
    if (!name.contains(QLatin1Char('/')) && !EnsurePortDirectory(PortDirectory())) return {};
    return path;
}

bool SerialDeviceExists(const QString &name) {
    const QByteArray path = PortPath(name);
    if (path.isEmpty()) return false;
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISCHR(info.st_mode) &&
           IsTerminalDevice(info.st_rdev);
}
