#include "support/NetnsLink.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>

NetnsLink::NetnsLink() {
    const QString tag = QString::number(::getpid());
    programNs_ = QStringLiteral("vlk-prog-") + tag;
    deviceNs_ = QStringLiteral("vlk-dev-") + tag;
    programNsPath_ = QFile::encodeName(QStringLiteral("/run/netns/") + programNs_);
}

NetnsLink::~NetnsLink() {
    if (!created_) return;
    Run({QStringLiteral("netns"), QStringLiteral("del"), programNs_});
    Run({QStringLiteral("netns"), QStringLiteral("del"), deviceNs_});
}

bool NetnsLink::Run(const QStringList &arguments, QString *why) const {
    QProcess ip;
    ip.setProcessChannelMode(QProcess::MergedChannels);
    ip.start(QStringLiteral("ip"), arguments);
    const bool ok = ip.waitForFinished(10000) && ip.exitStatus() == QProcess::NormalExit &&
                    ip.exitCode() == 0;
    if (!ok && why != nullptr)
        *why = QStringLiteral("ip ") + arguments.join(QLatin1Char(' ')) + QStringLiteral(": ") +
               QString::fromLocal8Bit(ip.readAll()).trimmed() + ip.errorString();
    return ok;
}

bool NetnsLink::Create(QString *why) {
    if (::geteuid() != 0) {
        *why = QStringLiteral("needs root to make network namespaces");
        return false;
    }
    if (!Run({QStringLiteral("netns"), QStringLiteral("add"), programNs_}, why)) return false;
    created_ = true;
    const QString p = programNs_;
    const QString d = deviceNs_;
    const QStringList steps[] = {
        {QStringLiteral("netns"), QStringLiteral("add"), d},
        {QStringLiteral("-n"), p, QStringLiteral("link"), QStringLiteral("add"), QStringLiteral("vp"),
         QStringLiteral("type"), QStringLiteral("veth"), QStringLiteral("peer"),
         QStringLiteral("name"), QStringLiteral("vd"), QStringLiteral("netns"), d},
        {QStringLiteral("-n"), p, QStringLiteral("addr"), QStringLiteral("add"),
         QStringLiteral("10.199.0.1/24"), QStringLiteral("dev"), QStringLiteral("vp")},
        {QStringLiteral("-n"), d, QStringLiteral("addr"), QStringLiteral("add"),
         QStringLiteral("10.199.0.2/24"), QStringLiteral("dev"), QStringLiteral("vd")},
        {QStringLiteral("-n"), p, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("vp"),
         QStringLiteral("up")},
        {QStringLiteral("-n"), d, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("vd"),
         QStringLiteral("up")},
        {QStringLiteral("-n"), p, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
         QStringLiteral("up")},
    };
    for (const QStringList &step : steps) {
        if (!Run(step, why)) return false;
    }
    return true;
}

bool NetnsLink::EnterDeviceSide() const {
    const QByteArray path = QFile::encodeName(QStringLiteral("/run/netns/") + deviceNs_);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
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
    return Run({QStringLiteral("-n"), deviceNs_, QStringLiteral("link"), QStringLiteral("set"),
                QStringLiteral("vd"), up ? QStringLiteral("up") : QStringLiteral("down")});
}
