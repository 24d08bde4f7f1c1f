#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

// Runs the C modem-line client (tests/lines/modem_client.c) on a path, with
// or without the lines library preloaded, and hands back its report.
class ModemClient {
public:
    // `portDir` is the port directory the library is to look in (the
    // bridge's); empty leaves the environment's.
    explicit ModemClient(QString portDir = {}) : portDir_(std::move(portDir)) {}

    // Runs to the end; the report (standard output), or "FAILED: ..." with
    // its standard error when it could not run or the path not be opened.
    QByteArray Run(const QByteArray &path, const QStringList &command, bool withLibrary) const;
    // Starts it and returns at once, for a command that waits.
    std::unique_ptr<QProcess> Start(const QByteArray &path, const QStringList &command,
                                    bool withLibrary) const;

private:
    QProcessEnvironment Environment(bool withLibrary) const;
    QString portDir_;
};
