// A device that vanishes without closing (cable pulled, power lost) sends
// nothing at all. The program must notice within 30 s, idle or while the
// client writes, take the road of a device that closed the connection, and
// come back by itself once the device is reachable again, with the client's
// port open throughout. The device sits in a network namespace of the
// test's own, behind a veth pair whose far end the test takes down.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

#include "support/LoopbackServer.h"
#include "support/NetnsLink.h"
#include "support/ProgramRunner.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

constexpr int kTcpTimeoutMs = 1000;

QByteArray LinkTarget(const QString &path) {
    char target[256];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), target, sizeof target);
    return length > 0 ? QByteArray(target, length) : QByteArray();
}

// Milliseconds until standard error holds `count` times `text`, or -1.
qint64 WaitForCount(ProgramRunner &program, const QByteArray &text, qsizetype count,
                    std::chrono::milliseconds timeout) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < timeout.count()) {
        if (program.StandardErrorSoFar().count(text) >= count) return elapsed.elapsed();
        QThread::msleep(20);
    }
    return -1;
}

TEST(DeadDevice, VanishedDeviceIsNoticedWithinThirtySecondsAndTheLinkComesBack) {
    NetnsLink net;
    QString why;
    if (!net.Create(&why)) GTEST_SKIP() << "no network namespaces here: " << why.toStdString();
    std::unique_ptr<LoopbackServer> device;
    std::thread([&] {
        if (net.EnterDeviceSide())
            device = std::make_unique<LoopbackServer>(0, NetnsLink::kDeviceAddress);
    }).join();
    ASSERT_TRUE(device && device->Port() != 0);

    ProgramRunner program;
    program.SetChildSetup([&net] { net.EnterProgramSideInChild(); });
    program.WriteIni(ProgramRunner::IniText(NetnsLink::DeviceAddressText(), device->Port(),
                                            QStringLiteral("COM4"), true, kTcpTimeoutMs));
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(device->Accept(20s)) << program.StandardErrorSoFar().toStdString();
    ASSERT_TRUE(program.WaitPortExists(QStringLiteral("COM4"), true, 10s));
    PtyClient client;
    ASSERT_TRUE(client.Open(QFile::encodeName(program.PortPath(QStringLiteral("COM4")))));
    ASSERT_TRUE(client.SetRaw());
    const QByteArray slave = LinkTarget(program.PortPath(QStringLiteral("COM4")));

    const QByteArray failure("Error connecting to host");
    qsizetype failuresSeen = 0;
    for (const bool writing : {false, true}) {
        SCOPED_TRACE(writing ? "while the client writes" : "idle");
        ASSERT_TRUE(client.WriteAll("ping"));
        ASSERT_EQ(device->ReadExactly(4, 10s), QByteArray("ping"));
        ASSERT_TRUE(device->SendAll("pong", 5s));
        ASSERT_EQ(client.ReadExactly(4, 5s), QByteArray("pong"));

        ASSERT_TRUE(net.SetDeviceLinkUp(false));
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            while (writing && !stop) {
                client.WriteSome("0123456789abcdef", 16);
                std::this_thread::sleep_for(100ms);
            }
        });
        // The first failed reconnection is reported one connect time-out
        // after the program has given the dead link up.
        const qint64 reported = WaitForCount(program, failure, failuresSeen + 1, 60s);
        stop = true;
        writer.join();
        ASSERT_GE(reported, 0) << "never noticed; stderr: "
                               << program.StandardErrorSoFar().toStdString();
        const qint64 noticed = reported - kTcpTimeoutMs;
        std::printf("  dead device noticed %s after %.1f s\n", writing ? "while writing" : "idle",
                    static_cast<double>(noticed) / 1000.0);
        EXPECT_LT(noticed, 30000);
        failuresSeen = program.StandardErrorSoFar().count(failure);

        // The device is back: the program reconnects by itself, on the port
        // the client has held all along.
        ASSERT_TRUE(net.SetDeviceLinkUp(true));
        ASSERT_TRUE(device->Accept(45s)) << program.StandardErrorSoFar().toStdString();
        EXPECT_EQ(LinkTarget(program.PortPath(QStringLiteral("COM4"))), slave);
        ASSERT_TRUE(client.IsOpen());
        // Whatever the client wrote into the dead link is gone with it;
        // new bytes flow both ways.
        (void)device->ReadUntilQuiet(300ms, 2s);
        ASSERT_TRUE(client.WriteAll("back"));
        EXPECT_TRUE(device->ReadUntilQuiet(300ms, 5s).endsWith("back"));
        ASSERT_TRUE(device->SendAll("again", 5s));
        EXPECT_EQ(client.ReadExactly(5, 5s), QByteArray("again"));
        failuresSeen = program.StandardErrorSoFar().count(failure);
    }
    EXPECT_TRUE(program.Running());
}

}  // namespace
