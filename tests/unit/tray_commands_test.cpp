// The user's commands: clicks on the tray icon, the pop-up menu and its
// seven items, driven through the tray control the way the shell delivers
// clicks.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>

#include "host/HelpDocument.h"
#include "shell/SysTray.h"
#include "support/BridgeFixture.h"

namespace {

constexpr quint32 kLeftDown = 0x201;
constexpr quint32 kRightDown = 0x204;
constexpr quint32 kMiddleDown = 0x207;

const QString kRefusal = QStringLiteral(
    "Your Virtual Port is Still Open!\r\nPlease Close the Application using it First.");

class TrayCommandsTest : public BridgeFixture {
protected:
    // Loads, then watches the menu instead of showing it.
    void LoadWatchingMenu() {
        Load();
        window->popupMenuHook = [this](QMenu &menu) {
            ++menusShown;
            if (chooseInMenu) chooseInMenu(menu);
        };
    }
    bool Topmost() const { return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint); }
    // What the window manager does when the user minimizes the window;
    // a minimized window hides itself, leaving only the tray icon.
    void SendToTray() {
        window->setWindowState(window->windowState() | Qt::WindowMinimized);
        ASSERT_FALSE(window->isVisible());
    }
    // Plays a left and a right click on the icon and reports whether either
    // had any effect on the window or the menu.
    bool TrayClicksHadAnEffect() {
        const int menusBefore = menusShown;
        const bool visibleBefore = window->isVisible();
        const int passesBefore = pump.passes;
        trayNotifier.Click(kLeftDown);
        trayNotifier.Click(kRightDown);
        return menusShown != menusBefore || window->isVisible() != visibleBefore ||
               pump.passes != passesBefore;
    }

    int menusShown = 0;
    std::function<void(QMenu &)> chooseInMenu;
};

TEST_F(TrayCommandsTest, LeftClickBringsTheWindowToTheFrontThenAppliesTheOption) {
    for (const bool onTop : {false, true}) {
        SCOPED_TRACE(onTop ? "Always On Top checked" : "Always On Top unchecked");
        alwaysOnTop = onTop;
        LoadWatchingMenu();
        SendToTray();
        bool shownInThePump = false;
        bool topmostInThePump = false;
        pump.pending.push_back([&] {
            shownInThePump = window->isVisible() && !window->isMinimized();
            topmostInThePump = Topmost();
        });
        trayNotifier.Click(kLeftDown);
        // Topmost first, so that it comes above every other window, then as
        // the option says.
        EXPECT_TRUE(shownInThePump);
        EXPECT_TRUE(topmostInThePump);
        EXPECT_TRUE(window->isVisible());
        EXPECT_FALSE(window->windowState() & Qt::WindowMinimized);
        EXPECT_EQ(Topmost(), onTop);
        EXPECT_EQ(menusShown, 0);
        window.reset();
    }
}

TEST_F(TrayCommandsTest, MiddleClickAndButtonReleasesOnTheIconDoNothing) {
    LoadWatchingMenu();
    SendToTray();
    const int passes = pump.passes;
    for (const quint32 message : {kMiddleDown, 0x202u, 0x203u, 0x205u, 0x208u, 0x200u}) {
        trayNotifier.Click(message);
        EXPECT_FALSE(window->isVisible()) << std::hex << message;
    }
    EXPECT_EQ(menusShown, 0);
    EXPECT_EQ(pump.passes, passes);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(log.isEmpty()) << log.join(QLatin1Char(' ')).toStdString();
}

TEST_F(TrayCommandsTest, IconIgnoresClicksWhileTheSettingsDialogIsOpen) {
    LoadWatchingMenu();
    SendToTray();
    bool effect = true;
    dialog.answers.push_back([&](SettingsDialogVariables &v) {
        effect = TrayClicksHadAnEffect();
        v.CancelSettings = true;
    });
    window->mPopSettings_Click();
    EXPECT_FALSE(effect);
    // Once the dialog has closed the icon answers again.
    EXPECT_FALSE(window->SettingsON);
    SendToTray();
    EXPECT_TRUE(TrayClicksHadAnEffect());
}

TEST_F(TrayCommandsTest, IconIgnoresClicksWhileTheAboutWindowIsOpen) {
    LoadWatchingMenu();
    SendToTray();
    bool aboutOnWhileShown = false;
    bool effect = true;
    QWidget *owner = nullptr;
    services->showAbout = [&](QWidget *o) {
        owner = o;
        aboutOnWhileShown = window->AboutON;
        effect = TrayClicksHadAnEffect();
    };
    window->mPopAbout_Click();
    EXPECT_TRUE(aboutOnWhileShown);
    EXPECT_FALSE(effect);
    EXPECT_EQ(owner, window.get());
    EXPECT_FALSE(window->AboutON);
}

TEST_F(TrayCommandsTest, RightClickOffersEveryCommandWithSettingsAsTheBoldDefault) {
    LoadWatchingMenu();
    QStringList captions;
    QList<bool> enabled;
    QAction *defaultAction = nullptr;
    chooseInMenu = [&](QMenu &menu) {
        for (QAction *action : menu.actions()) {
            captions << action->text();
            enabled << action->isEnabled();
        }
        defaultAction = menu.defaultAction();
    };
    trayNotifier.Click(kRightDown);
    ASSERT_EQ(menusShown, 1);
    EXPECT_EQ(captions, (QStringList{QStringLiteral("About VaskorLinkPC"), QStringLiteral("Help"),
                                     QStringLiteral("Always On Top"), QStringLiteral("AutoStart"),
                                     QStringLiteral("Settings"),
                                     QStringLiteral("Configure Vaskor Link Settings"),
                                     QStringLiteral("Exit")}));
    EXPECT_EQ(enabled, QList<bool>(7, true));
    EXPECT_EQ(defaultAction, window->mPopSettings);
    EXPECT_TRUE(window->mPopSettings->font().bold());
}

TEST_F(TrayCommandsTest, ConfigureIsOfferedOnlyWhileNoClientHoldsThePort) {
    StartLink();
    window->popupMenuHook = [this](QMenu &menu) {
        ++menusShown;
        for (QAction *action : menu.actions())
            EXPECT_EQ(action->isEnabled(), action != window->mPopConfigure || !window->PortOpened)
                << action->text().toStdString();
    };
    driver->OnOpenClose(true);
    trayNotifier.Click(kRightDown);
    EXPECT_FALSE(window->mPopConfigure->isEnabled());
    // The state is taken each time the menu opens.
    driver->OnOpenClose(false);
    trayNotifier.Click(kRightDown);
    EXPECT_TRUE(window->mPopConfigure->isEnabled());
    EXPECT_EQ(menusShown, 2);
}

TEST_F(TrayCommandsTest, RightClickOnTheSkinOpensTheMenuEvenWhileTheIconIsGuarded) {
    LoadWatchingMenu();
    window->SettingsON = true;
    QTest::mouseClick(window.get(), Qt::RightButton, {}, QPoint(60, 60));
    EXPECT_EQ(menusShown, 1);
}

TEST_F(TrayCommandsTest, AlwaysOnTopChosenFromTheMenuTogglesCheckAndTopmostOnly) {
    LoadWatchingMenu();
    const int writes = IniWrites();
    chooseInMenu = [this](QMenu &) { window->mPopAlwaysOnTop->trigger(); };
    trayNotifier.Click(kRightDown);
    EXPECT_TRUE(window->mPopAlwaysOnTop->isChecked());
    EXPECT_TRUE(Topmost());
    EXPECT_TRUE(window->isVisible());
    trayNotifier.Click(kRightDown);
    EXPECT_FALSE(window->mPopAlwaysOnTop->isChecked());
    EXPECT_FALSE(Topmost());
    EXPECT_EQ(IniWrites(), writes);
    EXPECT_FALSE(window->mPopAutoStart->isChecked());
}

TEST_F(TrayCommandsTest, AutoStartOnlyTogglesItsCheckMark) {
    LoadWatchingMenu();
    const int writes = IniWrites();
    window->mPopAutoStart->trigger();
    EXPECT_TRUE(window->mPopAutoStart->isChecked());
    window->mPopAutoStart->trigger();
    EXPECT_FALSE(window->mPopAutoStart->isChecked());
    EXPECT_FALSE(window->mPopAlwaysOnTop->isChecked());
    EXPECT_FALSE(Topmost());
    EXPECT_EQ(IniWrites(), writes);
    EXPECT_TRUE(log.isEmpty()) << log.join(QLatin1Char(' ')).toStdString();
}

TEST_F(TrayCommandsTest, OptionsToggledFromTheMenuReachTheIniFileAtExit) {
    LoadWatchingMenu();
    window->mPopAlwaysOnTop->trigger();
    window->mPopAutoStart->trigger();
    window->mPopExit->trigger();
    const QByteArray ini = files.content.value(kIniPath);
    EXPECT_TRUE(ini.contains("AlwaysOnTop  = True")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("AutoStart    = True")) << ini.toStdString();
}

TEST_F(TrayCommandsTest, SettingsIsRefusedWhileAClientHoldsThePort) {
    alwaysOnTop = true;
    autoStart = true;
    MakeWindow();
    ASSERT_TRUE(window->Form_Initialize());
    sock.stateAfterConnect = TcpClientControl::sckConnected;
    window->Form_Load();
    ASSERT_TRUE(timer.enabled);
    driver->OnOpenClose(true);
    log.clear();
    const int writes = IniWrites();
    bool topmostUnderTheBox = true;
    boxes.whileShown = [&] { topmostUnderTheBox = Topmost(); };
    window->mPopSettings_Click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kRefusal);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("VaskorLinkPC"));
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Exclamation);
    // Not topmost while the box shows, so that it is not hidden behind.
    EXPECT_FALSE(topmostUnderTheBox);
    EXPECT_TRUE(Topmost());
    // The link goes on as it was.
    EXPECT_TRUE(log.isEmpty()) << log.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(timer.enabled);
    EXPECT_FALSE(window->LinkStopped);
    EXPECT_TRUE(window->PortCreated);
    EXPECT_EQ(sock.state, TcpClientControl::sckConnected);
    EXPECT_EQ(IniWrites(), writes);
    EXPECT_FALSE(window->SettingsON);
}

TEST_F(TrayCommandsTest, SettingsThenCancelLeavesTheLinkDownAndWritesTheIniFile) {
    StartLink();
    window->ErrorMessage = QStringLiteral("Error connecting to host");
    const int writes = IniWrites();
    const int connects = sock.connects;
    window->mPopSettings_Click();
    EXPECT_EQ(dialog.errorMessagesShown.last(), QString());
    EXPECT_TRUE(window->LinkStopped);
    EXPECT_FALSE(timer.enabled);
    EXPECT_EQ(driver->removes, 1);
    EXPECT_FALSE(window->PortCreated);
    EXPECT_EQ(sock.state, TcpClientControl::sckClosed);
    EXPECT_EQ(sock.connects, connects);
    EXPECT_EQ(IniWrites(), writes + 1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->Unloaded());
}

TEST_F(TrayCommandsTest, SettingsThenOkStartsTheLinkWithTheNewSettings) {
    StartLink();
    dialog.answers.push_back([](SettingsDialogVariables &v) {
        v.COMport = QStringLiteral("COM7");
        v.TCPport = 6000;
        v.CancelSettings = false;
    });
    window->mPopSettings_Click();
    EXPECT_EQ(log, (QStringList{QStringLiteral("driver.RemovePort"),
                                QStringLiteral("sock.FlushSendQueue"), QStringLiteral("sock.Close"),
                                QStringLiteral("dialog"), QStringLiteral("sock.Close"),
                                QStringLiteral("sock.Connect"),
                                QStringLiteral("driver.CreatePort COM7")}));
    EXPECT_EQ(sock.remotePort, 6000);
    EXPECT_TRUE(timer.enabled);
    EXPECT_FALSE(window->LinkStopped);
}

TEST_F(TrayCommandsTest, ConfigureRunsTheConfiguratorOnADownLinkThenTheDialog) {
    StartLink();
    window->popupMenuHook = [this](QMenu &) { ++menusShown; };
    bool linkDownAtStart = false;
    bool clicksIgnored = false;
    launcher.onCall = [&](const QString &call) {
        if (!call.startsWith(QStringLiteral("start "))) return;
        linkDownAtStart = !timer.enabled && window->LinkStopped && driver->removes == 1 &&
                          sock.state == TcpClientControl::sckClosed;
        // The tray icon is mute while the configurator runs.
        clicksIgnored = !TrayClicksHadAnEffect();
    };
    launcher.polls = {{ProcessLauncher::Status::State::Running, 0}};
    window->mPopConfigure_Click();
    EXPECT_EQ(launcher.started, QStringList{QStringLiteral("/program/VaskorConfigurator")});
    EXPECT_GE(launcher.pollCount, 2);
    EXPECT_TRUE(linkDownAtStart);
    EXPECT_TRUE(clicksIgnored);
    EXPECT_EQ(log.count(QStringLiteral("dialog")), 1);
    EXPECT_TRUE(dialog.settingsOnWhileShown.back());
    // Cancelled: the link stays down and the program keeps running.
    EXPECT_FALSE(timer.enabled);
    EXPECT_FALSE(window->PortCreated);
    EXPECT_EQ(sock.connects, 1);
    EXPECT_FALSE(window->Unloaded());
    EXPECT_EQ(quits, 0);
    EXPECT_FALSE(window->SettingsON);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(TrayCommandsTest, ConfiguratorThatCannotStartIsReportedBeforeTheDialog) {
    StartLink();
    launcher.startFails = true;
    qsizetype dialogsUnderTheBox = -1;
    boxes.whileShown = [&] { dialogsUnderTheBox = log.count(QStringLiteral("dialog")); };
    dialog.answers.push_back(FakeSettingsDialog::Connect());
    window->mPopConfigure_Click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Error Executing the Following Statement:\r\n\r\n"
                                                  "/program/VaskorConfigurator"));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("VaskorLinkPC"));
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(dialogsUnderTheBox, 0);
    EXPECT_EQ(log.count(QStringLiteral("dialog")), 1);
    // OK in the dialog that follows builds the link again.
    EXPECT_TRUE(timer.enabled);
    EXPECT_EQ(sock.connects, 2);
}

TEST_F(TrayCommandsTest, HelpOpensTheDocumentAtPageOneWithTheRegisteredReader) {
    LoadWatchingMenu();
    registry.values.insert(PdfReaderKey(), QStringLiteral("\"/usr/bin/okular\" \"%1\""));
    window->mPopHelp->trigger();
    ASSERT_EQ(launcher.detached.size(), 1);
    EXPECT_EQ(launcher.detached[0],
              (QStringList{QStringLiteral("/usr/bin/okular"), QStringLiteral("-p"),
                           QStringLiteral("1"), QStringLiteral("/program/VaskorLinkPC.pdf")}));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(TrayCommandsTest, HelpFindsAnInstalledDocumentAndIsSilentWithoutAReader) {
    LoadWatchingMenu();
    const QString installed = QStringLiteral("/program/../share/vaskorlinkpc/VaskorLinkPC.pdf");
    files.content.insert(installed, "%PDF");
    window->mPopHelp_Click();
    EXPECT_TRUE(launcher.detached.isEmpty());
    EXPECT_TRUE(boxes.shown.empty());

    registry.values.insert(PdfReaderKey(), QStringLiteral("/usr/bin/gv %1"));
    window->mPopHelp_Click();
    ASSERT_EQ(launcher.detached.size(), 1);
    EXPECT_EQ(launcher.detached[0], (QStringList{QStringLiteral("/usr/bin/gv"), installed}));
}

TEST_F(TrayCommandsTest, ExitWithoutAClientSavesAndEndsAndTheIconGoesWithTheWindow) {
    StartLink();
    const int writes = IniWrites();
    window->mPopExit->trigger();
    EXPECT_EQ(IniWrites(), writes + 1);
    EXPECT_TRUE(window->Unloaded());
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(timer.enabled);
    EXPECT_EQ(driver->removes, 1);
    EXPECT_TRUE(TrayIconAdded());
    window.reset();
    EXPECT_FALSE(TrayIconAdded());
}

TEST_F(TrayCommandsTest, ExitWhileAClientHoldsThePortIsRefused) {
    StartLink();
    driver->OnOpenClose(true);
    const int writes = IniWrites();
    window->mPopExit_Click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kRefusal);
    EXPECT_FALSE(window->Unloaded());
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(IniWrites(), writes);
    EXPECT_TRUE(timer.enabled);
    EXPECT_TRUE(TrayIconAdded());
}

}  // namespace
