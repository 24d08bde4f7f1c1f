#include "platform/TcpLiveness.h"

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace TcpLiveness {

namespace {
bool SetInt(int fd, int level, int name, int value) {
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}
}  // namespace

bool Apply(int fd) {
    if (fd < 0) return false;
    bool ok = SetInt(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    ok = SetInt(fd, SOL_SOCKET, SO_KEEPALIVE, 1) && ok;
    ok = SetInt(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepAliveIdleS) && ok;
    ok = SetInt(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepAliveIntervalS) && ok;
    ok = SetInt(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveProbes) && ok;
    ok = SetInt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, kUserTimeoutMs) && ok;
    return ok;
}

qint64 Unacknowledged(int fd) {
    int queued = 0;
    // For TCP, SIOCOUTQ counts from the first unacknowledged byte to the last
    // one written: sent-but-unacknowledged plus not yet sent.
    if (fd < 0 || ::ioctl(fd, SIOCOUTQ, &queued) != 0) return 0;
    return queued;
}

}  // namespace TcpLiveness
