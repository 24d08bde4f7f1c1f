#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <string>

#include "support/LoopbackServer.h"
#include "support/ProgramRunner.h"

class PtyClient;

// The real program linked to a device stand-in on 127.0.0.1: an INI file
// with AutoStart, RemoteIP 127.0.0.1 and the device's port, the program
// started offscreen, its connection accepted and its port in place.
class LinkedProgram {
public:
    using Millis = std::chrono::milliseconds;

    explicit LinkedProgram(int tcpTimeout = 5000, QString comPort = QStringLiteral("COM4"));

    // Writes the INI file (plus `extraIni` after the settings), starts the
    // program and waits for its connection; with `expectPort`, also for its
    // port. The failure, with the program's standard error, in `why`.
    bool Start(std::string *why, const QByteArray &extraIni = {}, bool expectPort = true);

    QByteArray PortPath() const;
    // Opens the port in raw mode and writes one byte the device reads back,
    // so the program has certainly noticed the client when this returns.
    bool OpenClient(PtyClient &client, std::string *why);
    // Waits until the program's descriptor count equals `expected`; the
    // count last seen.
    int WaitDescriptors(int expected, Millis timeout) const;

    LoopbackServer device;
    ProgramRunner program;
    // Written into the INI file before the program's settings.
    QByteArray iniPrefix;
    QString comPort;
    int tcpTimeout;
};
