#include "support/ScopedNetns.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>

ScopedNetns::ScopedNetns(const QString &tag)
    : name_(QStringLiteral("vlk-") + tag + QLatin1Char('-') + QString::number(::getpid())) {}

ScopedNetns::~ScopedNetns() {
    if (!created_) return;
    QProcess::execute(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), name_});
}

static bool RunIp(const QStringList &arguments, QString *why) {
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

bool ScopedNetns::Create(QString *why) {
    if (::geteuid() != 0) {
        *why = QStringLiteral("needs root to make network namespaces");
        return false;
    }
    if (!RunIp({QStringLiteral("netns"), QStringLiteral("add"), name_}, why)) return false;
    created_ = true;
    return Ip({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
               QStringLiteral("up")},
              why);
}

bool ScopedNetns::Ip(const QStringList &arguments, QString *why) const {
    return RunIp(QStringList{QStringLiteral("-n"), name_} + arguments, why);
}

std::optional<QByteArray> ScopedNetns::RunInside(const std::function<QByteArray()> &body) const {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
    const QByteArray path = QFile::encodeName(QStringLiteral("/run/netns/") + name_);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0) ::_exit(126);
        const QByteArray answer = body();
        if (::write(pipeFds[1], answer.constData(), answer.size()) != answer.size()) ::_exit(125);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    if (child < 0) {
        ::close(pipeFds[0]);
        return std::nullopt;
    }
    QByteArray answer;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0) break;
        answer.append(buffer, n);
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return answer;
}
