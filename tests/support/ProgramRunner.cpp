#include "support/ProgramRunner.h"

#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

ProgramRunner::ProgramRunner()
    : portDirPath_(portDir_.path()), env_(QProcessEnvironment::systemEnvironment()) {
    QFile::setPermissions(portDir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(runtimeDir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env_.insert(QStringLiteral("VASKORLINK_PORT_DIR"), portDir_.path());
    env_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir_.path());
    env_.insert(QStringLiteral("XDG_CONFIG_HOME"), runtimeDir_.path() + QStringLiteral("/config"));
    const QString exe = Folder() + QStringLiteral("/VaskorLinkPC");
    QFile::copy(QStringLiteral(VASKOR_EXE_PATH), exe);
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

ProgramRunner::~ProgramRunner() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QByteArray ProgramRunner::IniText(const QString &remoteIP, int tcpPort, const QString &comPort,
                                  bool autoStart, int tcpTimeout) {
    QByteArray text = "[VASKORLINKPC]\r\n";
    text += "RemoteIP = " + remoteIP.toLocal8Bit() + "\r\n";
    text += "TCPport = " + QByteArray::number(tcpPort) + "\r\n";
    text += "COMport = " + comPort.toLocal8Bit() + "\r\n";
    text += QByteArray("AutoStart = ") + (autoStart ? "True" : "False") + "\r\n";
    text += "TcpTimeout = " + QByteArray::number(tcpTimeout) + "\r\n";
    return text;
}

QString ProgramRunner::IniPath() const {
    const QString instance = QStringLiteral("VASKORLINK_INSTANCE");
    if (!env_.contains(instance)) return Folder() + QStringLiteral("/VaskorLinkPC.ini");
    return env_.value(QStringLiteral("XDG_CONFIG_HOME")) + QStringLiteral("/VaskorLinkPC/") +
           env_.value(instance) + QStringLiteral("/VaskorLinkPC.ini");
}

void ProgramRunner::SetInstance(const QString &name) {
    env_.insert(QStringLiteral("VASKORLINK_INSTANCE"), name);
}

void ProgramRunner::ShareDirectoriesWith(const ProgramRunner &other) {
    for (const char *name : {"VASKORLINK_PORT_DIR", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"}) {
        const QString key = QLatin1String(name);
        env_.insert(key, other.env_.value(key));
    }
    portDirPath_ = other.PortDir();
}

void ProgramRunner::WriteIni(const QByteArray &text) {
    QDir().mkpath(QFileInfo(IniPath()).path());
    QFile file(IniPath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(text);
}

QByteArray ProgramRunner::ReadIni() const {
    QFile file(IniPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool ProgramRunner::Start() {
    process_.setProcessEnvironment(env_);
    process_.setWorkingDirectory(Folder());
    process_.setProgram(Folder() + QStringLiteral("/VaskorLinkPC"));
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    if (childSetup_) process_.setChildProcessModifier(childSetup_);
    process_.start();
    return process_.waitForStarted(10000);
}

qint64 ProgramRunner::Pid() const { return process_.processId(); }

void ProgramRunner::Signal(int number) {
    if (Pid() > 0) ::kill(static_cast<pid_t>(Pid()), number);
}

int ProgramRunner::WaitExit(std::chrono::milliseconds timeout) {
    if (!process_.waitForFinished(static_cast<int>(timeout.count()))) return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -2;
}

bool ProgramRunner::Running() const { return process_.state() != QProcess::NotRunning; }

bool ProgramRunner::WaitPortExists(const QString &name, bool exists,
                                   std::chrono::milliseconds timeout) const {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeout.count()) {
        if (QFileInfo(PortPath(name)).isSymLink() == exists) return true;
        QThread::msleep(10);
    }
    return false;
}

int ProgramRunner::OpenFileDescriptors() const {
    return static_cast<int>(QDir(QStringLiteral("/proc/%1/fd").arg(Pid()))
                                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                                .size());
}

qint64 ProgramRunner::ResidentKiB() const {
    QFile status(QStringLiteral("/proc/%1/status").arg(Pid()));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

QByteArray ProgramRunner::StandardError() { return process_.readAllStandardError(); }

QByteArray ProgramRunner::StandardErrorSoFar() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
    stderrSoFar_ += process_.readAllStandardError();
    return stderrSoFar_;
}

bool ProgramRunner::WaitStandardErrorContains(const QByteArray &text,
                                              std::chrono::milliseconds timeout) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        // QProcess reads the pipe from the event loop, or when waited on.
        process_.waitForReadyRead(0);
        if (StandardErrorSoFar().contains(text)) return true;
        if (timer.elapsed() >= timeout.count()) return false;
        QThread::msleep(10);
    }
}
