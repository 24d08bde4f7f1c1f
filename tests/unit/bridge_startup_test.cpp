// Start-up and shutdown of the main window.
#include <gtest/gtest.h>

#include <QAction>

#include "app/Lamp.h"
#include "support/BridgeFixture.h"

namespace {

class StartupTest : public BridgeFixture {};

const QString kRefusal = QStringLiteral(
    "Your Virtual Port is Still Open!\r\nPlease Close the Application using it First.");

TEST_F(StartupTest, ASecondInstanceIsToldAndEndsWithoutTouchingAnything) {
    otherInstance = true;
    MakeWindow();
    EXPECT_FALSE(window->Form_Initialize());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              QStringLiteral("VaskorLinkPC is already running!\r\nLeft-Click on System Tray Icon to View"));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("VaskorLinkPC"));
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(driverCreations, 0);
    EXPECT_EQ(IniWrites(), 0);
    EXPECT_FALSE(TrayIconAdded());
}

TEST_F(StartupTest, NoDriverIsAFatalMessage) {
    driverAvailable = false;
    MakeWindow();
    EXPECT_FALSE(window->Form_Initialize());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Virtual Serial Port Driver could not be loaded!"));
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Critical);
}

TEST_F(StartupTest, FirstRunShowsTheDialogWithTheDefaultsAndCancelLeavesNoLink) {
    iniText.clear();
    MakeWindow();
    ASSERT_TRUE(window->Form_Initialize());
    window->Form_Load();
    EXPECT_EQ(log.count(QStringLiteral("dialog")), 1);
    EXPECT_EQ(window->RemoteIP, localIP);
    EXPECT_EQ(window->TCPport, 5555);
    EXPECT_EQ(window->COMport, QStringLiteral("COM4"));
    EXPECT_EQ(window->TcpTimeout, 5000);
    EXPECT_TRUE(dialog.errorMessagesShown.last().isEmpty());
    EXPECT_EQ(sock.connects, 0);
    EXPECT_TRUE(driver->created.isEmpty());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(TrayIconAdded());
    EXPECT_EQ(IniWrites(), 1);
    EXPECT_EQ(window->comLEDgreen->pos(), QPoint(23, 117));
    EXPECT_EQ(window->tcpLEDred->pos(), QPoint(97, 173));
    EXPECT_EQ(window->size(), QSize(131, 231));
}

TEST_F(StartupTest, AutoStartSkipsTheDialogAndConnectsAtOnce) {
    autoStart = true;
    MakeWindow();
    ASSERT_TRUE(window->Form_Initialize());
    sock.stateAfterConnect = TcpClientControl::sckConnected;
    window->Form_Load();
    EXPECT_EQ(log.count(QStringLiteral("dialog")), 0);
    EXPECT_EQ(sock.connects, 1);
    EXPECT_EQ(driver->created, QStringList{QStringLiteral("COM4")});
    EXPECT_TRUE(window->mPopAutoStart->isChecked());
}

TEST_F(StartupTest, CloseIsRefusedWhileAClientHoldsThePort) {
    StartLink();
    driver->OnOpenClose(true);
    const int writes = IniWrites();
    short cancel = 0;
    window->Form_QueryUnload(cancel, 0);
    EXPECT_EQ(cancel, 1);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text, kRefusal);
    EXPECT_EQ(IniWrites(), writes);
    EXPECT_TRUE(timer.enabled);
    // The window's own close request goes the same way.
    EXPECT_FALSE(window->close());
    EXPECT_FALSE(window->Unloaded());
}

TEST_F(StartupTest, CloseWritesTheIniFileThenTearsTheLinkDown) {
    StartLink();
    log.clear();
    const int writes = IniWrites();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(IniWrites(), writes + 1);
    EXPECT_TRUE(window->Unloaded());
    EXPECT_TRUE(window->LinkStopped);
    EXPECT_FALSE(timer.enabled);
    EXPECT_EQ(log, (QStringList{QStringLiteral("sock.FlushSendQueue"), QStringLiteral("sock.Close"),
                                QStringLiteral("driver.RemovePort")}));
    EXPECT_EQ(quits, 1);
}

TEST_F(StartupTest, SavedPositionAndOptionsAreApplied) {
    autoStart = true;
    alwaysOnTop = true;
    iniExtra = "Top = 1500\r\nLeft = -30000\r\n";
    MakeWindow();
    ASSERT_TRUE(window->Form_Initialize());
    window->Form_Load();
    EXPECT_TRUE(window->mPopAlwaysOnTop->isChecked());
    // Off-screen positions are applied unchanged (twips to pixels).
    EXPECT_EQ(window->pos(), QPoint(qRound(-30000 * window->logicalDpiX() / 1440.0),
                                    qRound(1500 * window->logicalDpiY() / 1440.0)));
}

}  // namespace
