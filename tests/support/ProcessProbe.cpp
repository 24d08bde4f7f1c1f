#include "support/ProcessProbe.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSet>

namespace ProcessProbe {

namespace {

QByteArray ReadProcFile(const QString &path) {
    QFile file(path);
    // /proc files report size 0: read until the end.
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The table of /proc/<pid>/net/<name>: fields of each line after the header.
QList<QList<QByteArray>> NetTable(qint64 pid, const char *name) {
    QList<QList<QByteArray>> rows;
    const QList<QByteArray> lines =
        ReadProcFile(QStringLiteral("/proc/%1/net/%2").arg(pid).arg(QLatin1String(name)))
            .split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() >= 10) rows.append(fields);
    }
    return rows;
}

}  // namespace

qint64 CpuTicks(qint64 pid) {
    const QByteArray stat = ReadProcFile(QStringLiteral("/proc/%1/stat").arg(pid));
    // The command name may hold blanks and parentheses: count from the last ')'.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    return fields[11].toLongLong() + fields[12].toLongLong();
}

long TicksPerSecond() {
    return ::sysconf(_SC_CLK_TCK);
}

QList<quint64> SocketInodes(qint64 pid) {
    QList<quint64> inodes;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &entry :
         fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char buffer[256];
        const ssize_t length = ::readlink(QFile::encodeName(fds.filePath(entry)).constData(),
                                          buffer, sizeof buffer - 1);
        const QByteArray target(buffer, length > 0 ? length : 0);
        // A descriptor of a socket reads "socket:[12345]".
        if (!target.startsWith("socket:[")) continue;
        inodes.append(target.mid(8, target.size() - 9).toULongLong());
    }
    return inodes;
}

QList<QByteArray> ListeningSockets(qint64 pid) {
    const QList<quint64> list = SocketInodes(pid);
    const QSet<quint64> ours(list.cbegin(), list.cend());
    QList<QByteArray> found;
    // tcp, udp, raw: "sl local remote st ... uid timeout inode"; the inode is
    // field 9.
    for (const char *table : {"tcp", "tcp6", "udp", "udp6", "raw", "raw6"}) {
        const bool tcp = QByteArray(table).startsWith("tcp");
        for (const QList<QByteArray> &row : NetTable(pid, table)) {
            if (!ours.contains(row[9].toULongLong())) continue;
            if (!tcp || row[3] == "0A")
                found.append(QByteArray(table) + ' ' + row[1] + " st " + row[3]);
        }
    }
    // unix: "Num RefCount Protocol Flags Type St Inode Path"; flag 0x10000
    // (__SO_ACCEPTCON) marks a listening socket.
    const QList<QByteArray> lines =
        ReadProcFile(QStringLiteral("/proc/%1/net/unix").arg(pid)).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 7 || !ours.contains(fields[6].toULongLong())) continue;
        bool ok = false;
        const quint64 flags = fields[3].toULongLong(&ok, 16);
        if (ok && (flags & 0x10000) != 0) found.append("unix " + lines[i].simplified());
    }
    return found;
}

}  // namespace ProcessProbe
