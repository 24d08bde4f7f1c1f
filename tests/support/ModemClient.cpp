#include "support/ModemClient.h"

#include <QFile>

QProcessEnvironment ModemClient::Environment(bool withLibrary) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The sanitizer runtime of the test binary must not reach the client.
    env.remove(QStringLiteral("LD_PRELOAD"));
    if (withLibrary) {
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VASKOR_LINES_LIBRARY_PATH));
    }
    if (!portDir_.isEmpty()) env.insert(QStringLiteral("VASKORLINK_PORT_DIR"), portDir_);
    return env;
}

std::unique_ptr<QProcess> ModemClient::Start(const QByteArray &path, const QStringList &command,
                                             bool withLibrary) const {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(Environment(withLibrary));
    process->setProgram(QStringLiteral(VASKOR_MODEM_CLIENT_PATH));
    process->setArguments(QStringList{QFile::decodeName(path)} + command);
    process->start();
    process->waitForStarted(10000);
    return process;
}

QByteArray ModemClient::Run(const QByteArray &path, const QStringList &command,
                            bool withLibrary) const {
    const std::unique_ptr<QProcess> process = Start(path, command, withLibrary);
    if (!process->waitForFinished(20000) || process->exitStatus() != QProcess::NormalExit ||
        process->exitCode() != 0) {
        process->kill();
        process->waitForFinished(5000);
        return "FAILED: " + process->readAllStandardError();
    }
    return process->readAllStandardOutput();
}
