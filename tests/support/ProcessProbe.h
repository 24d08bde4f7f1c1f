#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// Looks at another process of the same user through /proc, for end-to-end
// tests that check what the program holds from outside.
namespace ProcessProbe {

// CPU time used so far (user + system), in clock ticks.
qint64 CpuTicks(qint64 pid);
long TicksPerSecond();

// Inodes of the sockets among the process's open descriptors.
QList<quint64> SocketInodes(qint64 pid);

// One line per socket of the process that accepts connections or datagrams
// from others: TCP in the listening state, any bound UDP or raw socket, and
// listening Unix stream sockets. Empty when it has none.
QList<QByteArray> ListeningSockets(qint64 pid);

}  // namespace ProcessProbe
