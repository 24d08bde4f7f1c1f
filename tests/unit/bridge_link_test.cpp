// The link's life: connecting with a time-out, creating the port, tearing
// down, and falling back to the settings dialog.
#include <gtest/gtest.h>

#include "app/Lamp.h"
#include "support/BridgeFixture.h"

namespace {

class LinkTest : public BridgeFixture {};

TEST_F(LinkTest, EmptyRemoteIpOnlyRepaintsTheStatus) {
    Load();
    window->RemoteIP.clear();
    const QImage before = window->Image();
    window->COMport = QStringLiteral("COM9");
    log.clear();
    window->ConnectToHost();
    EXPECT_TRUE(log.isEmpty()) << log.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(sock.connects, 0);
    EXPECT_NE(window->Image(), before);
}

TEST_F(LinkTest, SuccessfulConnectCreatesThePortAndStartsThePump) {
    Load();
    sock.stateAfterConnect = TcpClientControl::sckConnected;
    window->ConnectToHost();
    EXPECT_EQ(sock.remoteHost, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(sock.remotePort, 5555);
    EXPECT_EQ(sock.localPort, 0);
    EXPECT_EQ(window->tcpLEDgreen->FillColor(), Lamp::kLitGreen);
    EXPECT_EQ(driver->created, QStringList{QStringLiteral("COM4")});
    EXPECT_TRUE(window->PortCreated);
    EXPECT_FALSE(window->LinkStopped);
    EXPECT_TRUE(timer.enabled);
    EXPECT_EQ(timer.interval, 50);
    // The first look at the state comes after the first 50 ms sleep.
    EXPECT_EQ(clock.sleeps, 1);
}

TEST_F(LinkTest, TheRelayTicksAtTheIntervalTheIniFileSets) {
    Load();
    files.content.insert(kIniPath, "[VASKORLINKPC]\r\nRemoteIP=127.0.0.1\r\nRelayTick = 1\r\n");
    window->LoadINIfile(kIniPath);
    EXPECT_EQ(window->RelayTick, 1);
    sock.stateAfterConnect = TcpClientControl::sckConnected;
    window->ConnectToHost();
    EXPECT_TRUE(timer.enabled);
    EXPECT_EQ(timer.interval, 1);
}

TEST_F(LinkTest, RefusedConnectionWaitsTheFullTimeOutThenShowsTheDialog) {
    Load();
    window->TcpTimeout = 5000;
    sock.stateAfterConnect = TcpClientControl::sckError;
    dialog.answers.push_back(FakeSettingsDialog::Cancel());
    window->ConnectToHost();
    // 101 sleeps of 50 ms: the first elapsed time above 5000.
    EXPECT_EQ(clock.sleeps, 101);
    EXPECT_EQ(dialog.errorMessagesShown.last(), QStringLiteral("Error connecting to host"));
    EXPECT_EQ(window->tcpLEDgreen->FillColor(), Lamp::kDarkGreen);
    EXPECT_TRUE(driver->created.isEmpty());
    EXPECT_FALSE(timer.enabled);
}

TEST_F(LinkTest, ZeroTimeOutFailsOnTheFirstPassEvenWhenConnected) {
    Load();
    window->TcpTimeout = 0;
    sock.stateAfterConnect = TcpClientControl::sckConnected;
    window->ConnectToHost();
    EXPECT_EQ(clock.sleeps, 1);
    EXPECT_EQ(dialog.errorMessagesShown.last(), QStringLiteral("Error connecting to host"));
    EXPECT_TRUE(driver->created.isEmpty());
}

TEST_F(LinkTest, TimeOutIsMeasuredAcrossTheWrapOfTheTickCounter) {
    Load();
    clock.now = 0xFFFFFFFFu - 120;
    window->TcpTimeout = 1000;
    sock.stateAfterConnect = TcpClientControl::sckConnecting;
    window->ConnectToHost();
    EXPECT_EQ(clock.sleeps, 21);

    clock.sleeps = 0;
    clock.now = 0xFFFFFFFFu - 60;
    int polls = 0;
    clock.onSleep = [&] {
        if (++polls == 3) sock.state = TcpClientControl::sckConnected;
    };
    dialog.answers.clear();
    window->ConnectToHost();
    EXPECT_EQ(clock.sleeps, 3);
    EXPECT_EQ(driver->created.size(), 1);
}

TEST_F(LinkTest, OkAfterAFailedConnectionTriesAgainWithTheNewSettings) {
    Load();
    sock.stateAfterConnect = TcpClientControl::sckError;
    dialog.answers.push_back([&](SettingsDialogVariables &v) {
        v.TCPport = 6000;
        v.CancelSettings = false;
        sock.stateAfterConnect = TcpClientControl::sckConnected;
    });
    window->ConnectToHost();
    EXPECT_EQ(sock.remotePort, 6000);
    EXPECT_EQ(sock.connects, 2);
    EXPECT_TRUE(timer.enabled);
}

TEST_F(LinkTest, PortHeldByAClientSurvivesTheDeviceClosingAndIsReused) {
    StartLink();
    driver->OnOpenClose(true);
    sock.stateAfterConnect = TcpClientControl::sckConnected;
    emit sock.Closed();
    EXPECT_EQ(driver->removes, 0);
    EXPECT_EQ(driver->created.size(), 1);  // reused without CreatePort
    EXPECT_EQ(sock.connects, 2);
    EXPECT_TRUE(timer.enabled);
    EXPECT_TRUE(window->PortCreated);
}

// What a serial program sees as CTS, DSR and DCD: down from the device's
// close until the reconnection, up before the port is (re)used.
TEST_F(LinkTest, DriverHearsOfTheDeviceLinkAsTheTcpLampShowsIt) {
    StartLink();
    ASSERT_FALSE(driver->deviceLink.empty());
    EXPECT_TRUE(driver->deviceLink.back());
    driver->deviceLink.clear();
    driver->OnOpenClose(true);
    sock.stateAfterConnect = TcpClientControl::sckConnected;
    emit sock.Closed();
    EXPECT_EQ(driver->deviceLink, std::vector<bool>({false, true}));
    EXPECT_EQ(window->tcpLEDgreen->FillColor(), Lamp::kLitGreen);
    window->ShowSettings();
    EXPECT_FALSE(driver->deviceLink.back());
}

TEST_F(LinkTest, ClientThatLeftBeforeTheNextConnectionGetsTheNameCreatedAgain) {
    StartLink();
    driver->OnOpenClose(true);
    window->CloseVirtualPort();
    driver->OnOpenClose(false);
    log.clear();
    window->ConnectToHost();
    EXPECT_EQ(driver->created.size(), 2);
    EXPECT_EQ(driver->removes, 0);
    EXPECT_FALSE(log.contains(QStringLiteral("driver.RemovePort")));
}

TEST_F(LinkTest, RefusedPortShowsItsNameAndCancelEndsTheProgram) {
    Load();
    sock.stateAfterConnect = TcpClientControl::sckConnected;
    driver->createResult = false;
    dialog.answers.push_back(FakeSettingsDialog::Cancel());
    window->ConnectToHost();
    EXPECT_EQ(dialog.errorMessagesShown.last(), QStringLiteral("Error creating COM4"));
    EXPECT_TRUE(window->Unloaded());
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(timer.enabled);
}

TEST_F(LinkTest, RefusedPortThenOkReconnectsAndCreatesAgain) {
    Load();
    sock.stateAfterConnect = TcpClientControl::sckConnected;
    driver->createResult = false;
    dialog.answers.push_back([&](SettingsDialogVariables &v) {
        v.COMport = QStringLiteral("COM7");
        v.CancelSettings = false;
        driver->createResult = true;
    });
    window->ConnectToHost();
    EXPECT_EQ(driver->created, (QStringList{QStringLiteral("COM4"), QStringLiteral("COM7")}));
    EXPECT_EQ(sock.connects, 2);
    EXPECT_TRUE(timer.enabled);
}

TEST_F(LinkTest, ShowSettingsTearsDownAndWritesTheIniFileEvenOnCancel) {
    StartLink();
    const int writesBefore = IniWrites();
    window->ShowSettings();
    EXPECT_TRUE(window->LinkStopped);
    EXPECT_FALSE(timer.enabled);
    EXPECT_EQ(driver->removes, 1);
    EXPECT_EQ(window->tcpLEDgreen->FillColor(), Lamp::kDarkGreen);
    EXPECT_TRUE(window->CancelSettings);
    EXPECT_FALSE(window->SettingsON);
    EXPECT_EQ(dialog.settingsOnWhileShown.back(), true);
    EXPECT_EQ(IniWrites(), writesBefore + 1);
    // The dialog sits right below the window.
    EXPECT_EQ(dialog.lastTopLeft, QPoint(window->x(), window->y() + window->height()));
}

TEST_F(LinkTest, OpenAndCloseEventsDriveTheComLamps) {
    StartLink();
    window->comLEDred->SetFillColor(Lamp::kLitRed);
    driver->OnOpenClose(true);
    EXPECT_TRUE(window->PortOpened);
    EXPECT_EQ(window->comLEDgreen->FillColor(), Lamp::kLitGreen);
    EXPECT_EQ(window->comLEDred->FillColor(), Lamp::kDarkRed);
    driver->OnOpenClose(false);
    EXPECT_FALSE(window->PortOpened);
    EXPECT_EQ(window->comLEDgreen->FillColor(), Lamp::kDarkGreen);
}

}  // namespace
