// The link on doubles, where it must not lie or lock the user out: bytes
// already taken leave before the program's own tear-downs close the socket,
// a closed client's bytes wait for a slow device, the program's own held
// port does not block the way back, and a close request in the middle of a
// wait ends the program without its window coming back.
#include <gtest/gtest.h>

#include "support/BridgeFixture.h"

namespace {

class LinkTruthTest : public BridgeFixture {};

TEST_F(LinkTruthTest, OwnTearDownsSendWhatWasTakenBeforeClosingTheSocket) {
    for (const int which : {0, 1, 2}) {
        SCOPED_TRACE(which == 0 ? "Settings" : which == 1 ? "Configure" : "Exit");
        StartLink();
        const qsizetype closesBefore = log.count(QStringLiteral("sock.Close"));
        if (which == 0) window->mPopSettings_Click();
        if (which == 1) window->mPopConfigure_Click();
        if (which == 2) window->mPopExit_Click();
        const qsizetype flush = log.indexOf(QStringLiteral("sock.FlushSendQueue"));
        ASSERT_GE(flush, 0) << log.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(log.indexOf(QStringLiteral("sock.Close")), flush + 1);
        EXPECT_GT(log.count(QStringLiteral("sock.Close")), closesBefore);
        ASSERT_FALSE(sock.flushTimeouts.empty());
        EXPECT_GT(sock.flushTimeouts.back(), 0);
        EXPECT_LE(sock.flushTimeouts.back(), 5000);
        window.reset();
        sock.flushTimeouts.clear();
    }
}

TEST_F(LinkTruthTest, UnattendedTearDownTellsHowManyBytesTheDeviceDidNotTake) {
    unattended = true;
    StartLink();
    sock.unacknowledgedAtFlush = 1234;
    window->mPopExit_Click();
    ASSERT_EQ(unattendedLines.size(), 1);
    EXPECT_TRUE(unattendedLines[0].startsWith(QStringLiteral("1234 bytes")))
        << unattendedLines[0].toStdString();
}

TEST_F(LinkTruthTest, NoFlushWaitWithoutAConnection) {
    Load();
    window->mPopExit_Click();
    EXPECT_FALSE(log.contains(QStringLiteral("sock.FlushSendQueue")));
}

TEST_F(LinkTruthTest, ClosedClientsBytesAreHeldOnlyWhileTheDeviceIsBehind) {
    StartLink();
    driver->OnOpenClose(true);
    driver->fromClient = QByteArray(10, 'x');
    sock.bytesToWrite = SendHighWater();
    window->MasterTimer_Timer();
    EXPECT_TRUE(driver->readingHeldBack);
    EXPECT_EQ(driver->fromClient.size(), 10);
    sock.bytesToWrite = 0;
    window->MasterTimer_Timer();
    EXPECT_FALSE(driver->readingHeldBack);
    EXPECT_TRUE(driver->fromClient.isEmpty());
    // A tear-down stops the relay: nothing is held for it any more.
    sock.bytesToWrite = SendHighWater();
    window->MasterTimer_Timer();
    ASSERT_TRUE(driver->readingHeldBack);
    emit sock.Closed();
    EXPECT_FALSE(driver->readingHeldBack);
}

// The device was away, the dialog came back with "Error connecting to host",
// and the user presses Connect with the same settings while a client still
// holds the program's own port.
TEST_F(LinkTruthTest, OwnHeldPortDoesNotCountAsExistingInTheDialog) {
    StartLink();
    driver->OnOpenClose(true);
    serialDevices = {QStringLiteral("COM4"), QStringLiteral("COM5")};
    sock.stateAfterConnect = TcpClientControl::sckError;
    bool ownCounts = true;
    bool otherCounts = false;
    dialog.answers.push_back([&](SettingsDialogVariables &v) {
        ownCounts = v.PortExists(QStringLiteral("COM4"));
        otherCounts = v.PortExists(QStringLiteral("COM5"));
        v.CancelSettings = true;
    });
    emit sock.Closed();
    EXPECT_EQ(dialog.errorMessagesShown.last(), QStringLiteral("Error connecting to host"));
    EXPECT_FALSE(ownCounts);
    EXPECT_TRUE(otherCounts);
    // Once the client has let go the port is gone from the program, and a
    // port of that name is somebody else's.
    driver->OnOpenClose(false);
    bool releasedCounts = false;
    dialog.answers.push_back([&](SettingsDialogVariables &v) {
        releasedCounts = v.PortExists(QStringLiteral("COM4"));
        v.CancelSettings = true;
    });
    window->mPopSettings_Click();
    EXPECT_TRUE(releasedCounts);
}

TEST_F(LinkTruthTest, ConfigureIsRefusedUpFrontWhileAClientHoldsThePort) {
    StartLink();
    driver->OnOpenClose(true);
    log.clear();
    window->mPopConfigure_Click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("Your Virtual Port is Still Open!")));
    EXPECT_TRUE(launcher.started.isEmpty());
    EXPECT_TRUE(log.isEmpty()) << log.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(timer.enabled);
    EXPECT_FALSE(window->SettingsON);
    EXPECT_FALSE(window->LinkStopped);
}

TEST_F(LinkTruthTest, CloseDuringTheSettingsDialogEndsWithoutShowingTheWindowAgain) {
    StartLink();
    window->hide();
    dialog.answers.push_back([this](SettingsDialogVariables &v) {
        window->RequestClose();
        v.CancelSettings = false;
    });
    window->mPopSettings_Click();
    EXPECT_TRUE(window->Unloaded());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(sock.connects, 1);
    EXPECT_EQ(quits, 1);
}

TEST_F(LinkTruthTest, CloseDuringTheConfiguratorEndsTheWaitAndShowsNoDialog) {
    StartLink();
    window->hide();
    launcher.polls.assign(1000, {ProcessLauncher::Status::State::Running, 0});
    launcher.onCall = [this](const QString &call) {
        if (call.startsWith(QStringLiteral("poll")))
            pump.pending.push_back([this] { window->RequestClose(); });
    };
    window->mPopConfigure_Click();
    EXPECT_TRUE(window->Unloaded());
    EXPECT_LT(launcher.pollCount, 5);
    EXPECT_FALSE(log.contains(QStringLiteral("dialog")));
    EXPECT_FALSE(window->isVisible());
}

TEST_F(LinkTruthTest, UnattendedEmptyAddressIsReportedAndRetriedWithTheFileReadAgain) {
    unattended = true;
    Load();
    files.content.insert(kIniPath, "[VASKORLINKPC]\r\nRemoteIP = \r\n");
    window->RemoteIP.clear();
    log.clear();
    // The first retry finds the address still empty; before the second, a
    // person has written one into the file.
    dialog.answers.push_back([this](SettingsDialogVariables &v) {
        files.content.insert(kIniPath, "[VASKORLINKPC]\r\nRemoteIP = 127.0.0.1\r\n");
        v.CancelSettings = false;
    });
    const int writes = IniWrites();
    sock.stateAfterConnect = TcpClientControl::sckConnected;
    const qsizetype dialogsBefore = dialog.errorMessagesShown.size();
    window->ConnectToHost();
    ASSERT_EQ(dialog.errorMessagesShown.size(), dialogsBefore + 1);
    EXPECT_EQ(dialog.errorMessagesShown.last(), QStringLiteral("Remote IP not specified"));
    EXPECT_EQ(window->RemoteIP, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(sock.connects, 1);
    EXPECT_TRUE(timer.enabled);
    // What the person wrote is not overwritten by the wait.
    EXPECT_EQ(IniWrites(), writes);
}

TEST_F(LinkTruthTest, EmptyAddressOnADesktopStillOnlyRepaints) {
    Load();
    window->RemoteIP.clear();
    log.clear();
    window->ConnectToHost();
    EXPECT_TRUE(log.isEmpty());
    EXPECT_TRUE(dialog.errorMessagesShown.empty() ||
                dialog.errorMessagesShown.back() != QStringLiteral("Remote IP not specified"));
}

}  // namespace
