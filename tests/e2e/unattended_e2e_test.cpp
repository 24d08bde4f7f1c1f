// The program with nobody at it: no display, a device that is down at first.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include "support/LoopbackServer.h"
#include "support/ProgramRunner.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

TEST(UnattendedEndToEnd, WaitsForTheDeviceRelaysAndStopsOnASecondTermination) {
    // A free port for the device, not listening yet.
    quint16 port = 0;
    {
        LoopbackServer probe;
        port = probe.Port();
    }
    ProgramRunner program;
    program.Environment().remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.Environment().remove(QStringLiteral("DISPLAY"));
    program.Environment().remove(QStringLiteral("WAYLAND_DISPLAY"));
    program.WriteIni(ProgramRunner::IniText(QStringLiteral("127.0.0.1"), port,
                                            QStringLiteral("COM4"), true, 300));
    ASSERT_TRUE(program.Start());
    QThread::msleep(3000);
    LoopbackServer device(port);
    ASSERT_EQ(device.Port(), port);
    ASSERT_TRUE(device.Accept(20s)) << program.StandardError().toStdString();
    ASSERT_TRUE(program.WaitPortExists(QStringLiteral("COM4"), true, 10s));

    PtyClient client;
    ASSERT_TRUE(client.Open(QFile::encodeName(program.PortPath(QStringLiteral("COM4")))));
    ASSERT_TRUE(client.SetRaw());
    RunEventLoopFor(150ms);
    ASSERT_TRUE(client.WriteAll("hello device"));
    EXPECT_EQ(device.ReadExactly(12, 5s), QByteArray("hello device"));
    ASSERT_TRUE(device.SendAll("hello client", 5s));
    EXPECT_EQ(client.ReadExactly(12), QByteArray("hello client"));

    // The client still holds the port: the first request is refused and
    // logged, the second ends the program.
    QElapsedTimer stopping;
    stopping.start();
    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitExit(500ms), -1);
    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitExit(10s), 0);
    EXPECT_LT(stopping.elapsed(), 10000);

    const QString log = QString::fromLocal8Bit(program.StandardError());
    EXPECT_TRUE(log.contains(QStringLiteral("VaskorLinkPC: Error connecting to host; trying again in 1 s")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("VaskorLinkPC: Your Virtual Port is Still Open!")))
        << log.toStdString();
    EXPECT_TRUE(program.ReadIni().contains("AutoStart    = True"));
}

}  // namespace

namespace {

// A fresh service with no address: it says what the dialog would say and
// keeps trying, and takes up an address written into its INI file meanwhile.
// Standard error holds the program's own lines only.
TEST(UnattendedEndToEnd, EmptyAddressIsReportedRetriedAndTakenUpFromTheFile) {
    LoopbackServer device;
    ProgramRunner program;
    program.Environment().remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.Environment().remove(QStringLiteral("DISPLAY"));
    program.Environment().remove(QStringLiteral("WAYLAND_DISPLAY"));
    program.WriteIni(ProgramRunner::IniText(QString(), device.Port(), QStringLiteral("COM4"), true,
                                            300));
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitStandardErrorContains("VaskorLinkPC: Remote IP not specified", 10s))
        << program.StandardErrorSoFar().toStdString();
    program.WriteIni(ProgramRunner::IniText(QStringLiteral("127.0.0.1"), device.Port(),
                                            QStringLiteral("COM4"), true, 300));
    ASSERT_TRUE(device.Accept(20s)) << program.StandardErrorSoFar().toStdString();
    ASSERT_TRUE(program.WaitPortExists(QStringLiteral("COM4"), true, 10s));
    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitExit(10s), 0);
    for (const QByteArray &line : program.StandardErrorSoFar().split('\n')) {
        if (line.isEmpty() || line.startsWith("QStandardPaths:")) continue;
        EXPECT_TRUE(line.startsWith("VaskorLinkPC: ")) << line.toStdString();
    }
}

}  // namespace
