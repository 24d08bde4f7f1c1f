#include "support/NetnsLink.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <QFile>

namespace {
QByteArray NamespacePath(const ScopedNetns &ns) {
    return QFile::encodeName(QStringLiteral("/run/netns/") + ns.Name());
}
}  // namespace

NetnsLink::NetnsLink()
    : programNs_(QStringLiteral("prog")),
      deviceNs_(QStringLiteral("dev")),
      programNsPath_(NamespacePath(programNs_)) {}

bool NetnsLink::Create(QString *why) {
    if (!programNs_.Create(why) || !deviceNs_.Create(why)) return false;
    const QString link = QStringLiteral("link");
    const QString addr = QStringLiteral("addr");
    return programNs_.Ip({link, QStringLiteral("add"), QStringLiteral("vp"), QStringLiteral("type"),
                          QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"),
                          QStringLiteral("vd"), QStringLiteral("netns"), deviceNs_.Name()},
                         why) &&
           programNs_.Ip({addr, QStringLiteral("add"), QStringLiteral("10.199.0.1/24"),
                          QStringLiteral("dev"), QStringLiteral("vp")},
                         why) &&
           deviceNs_.Ip({addr, QStringLiteral("add"), QStringLiteral("10.199.0.2/24"),
                         QStringLiteral("dev"), QStringLiteral("vd")},
                        why) &&
           programNs_.Ip({link, QStringLiteral("set"), QStringLiteral("vp"), QStringLiteral("up")},
                         why) &&
           deviceNs_.Ip({link, QStringLiteral("set"), QStringLiteral("vd"), QStringLiteral("up")},
                        why);
}

bool NetnsLink::EnterDeviceSide() const {
    const int fd = ::open(NamespacePath(deviceNs_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return ok;
}

void NetnsLink::EnterProgramSideInChild() const {
    const int fd = ::open(programNsPath_.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ::_exit(126);
    if (::setns(fd, CLONE_NEWNET) != 0) ::_exit(126);
    ::close(fd);
}

bool NetnsLink::SetDeviceLinkUp(bool up) {
    return deviceNs_.Ip({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("vd"),
                         up ? QStringLiteral("up") : QStringLiteral("down")});
}
