#include "support/LinkedProgram.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include "support/PtyClient.h"

using namespace std::chrono_literals;

LinkedProgram::LinkedProgram(int timeout, QString name)
    : comPort(std::move(name)), tcpTimeout(timeout) {}

bool LinkedProgram::Start(std::string *why, const QByteArray &extraIni, bool expectPort) {
    if (device.Port() == 0) {
        *why = "no device port";
        return false;
    }
    program.WriteIni(iniPrefix +
                     ProgramRunner::IniText(QStringLiteral("127.0.0.1"), device.Port(), comPort,
                                            true, tcpTimeout) +
                     extraIni);
    if (!program.Start()) {
        *why = "the program did not start";
        return false;
    }
    if (!device.Accept(20s)) {
        *why =
            "no connection from the program; stderr: " + program.StandardErrorSoFar().toStdString();
        return false;
    }
    if (expectPort && !program.WaitPortExists(comPort, true, 10s)) {
        *why = "no port; stderr: " + program.StandardErrorSoFar().toStdString();
        return false;
    }
    return true;
}

QByteArray LinkedProgram::PortPath() const {
    return QFile::encodeName(program.PortPath(comPort));
}

bool LinkedProgram::OpenClient(PtyClient &client, std::string *why) {
    if (!client.Open(PortPath()) || !client.SetRaw()) {
        *why = "cannot open the port as a raw client";
        return false;
    }
    static const QByteArray kHello("\x5a", 1);
    if (!client.WriteAll(kHello) || device.ReadExactly(1, 10s) != kHello) {
        *why = "the client's first byte did not reach the device";
        return false;
    }
    return true;
}

int LinkedProgram::WaitDescriptors(int expected, Millis timeout) const {
    QElapsedTimer timer;
    timer.start();
    int seen = program.OpenFileDescriptors();
    while (seen != expected && timer.elapsed() < timeout.count()) {
        QThread::msleep(20);
        seen = program.OpenFileDescriptors();
    }
    return seen;
}
