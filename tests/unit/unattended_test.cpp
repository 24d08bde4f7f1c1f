// Unattended operation: who decides there is no display, what replaces the
// message boxes, and the paced retries that replace the settings dialog.
#include <gtest/gtest.h>

#include <QStringList>

#include "config/UnattendedSettingsRunner.h"
#include "platform/DisplayMode.h"
#include "platform/MessageBoxes.h"
#include "support/ScopedEnv.h"

namespace {

TEST(DisplayMode, NoDisplayAtAllRunsUnattendedOffscreen) {
    ScopedEnv platform("QT_QPA_PLATFORM", nullptr), x11("DISPLAY", nullptr),
        wayland("WAYLAND_DISPLAY", nullptr);
    EXPECT_EQ(ChooseDisplayMode(), DisplayMode::Unattended);
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), QByteArray("offscreen"));
}

TEST(DisplayMode, OffscreenChosenByTheUserIsUnattended) {
    ScopedEnv platform("QT_QPA_PLATFORM", "offscreen"), x11("DISPLAY", ":0");
    EXPECT_EQ(ChooseDisplayMode(), DisplayMode::Unattended);
}

TEST(DisplayMode, ADesktopIsADesktopAndWaylandPrefersXWayland) {
    {
        ScopedEnv platform("QT_QPA_PLATFORM", nullptr), x11("DISPLAY", ":0"),
            wayland("WAYLAND_DISPLAY", nullptr);
        EXPECT_EQ(ChooseDisplayMode(), DisplayMode::Desktop);
        EXPECT_FALSE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));
    }
    ScopedEnv platform("QT_QPA_PLATFORM", nullptr), x11("DISPLAY", ":0"),
        wayland("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_EQ(ChooseDisplayMode(), DisplayMode::Desktop);
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), QByteArray("xcb"));
}

TEST(StderrMessageBoxes, AMessageBecomesOneLineWithTheTitle) {
    EXPECT_EQ(StderrMessageBoxes::OneLine(
                  QStringLiteral("Your Virtual Port is Still Open!\r\nPlease Close the "
                                 "Application using it First."),
                  QStringLiteral("VaskorLinkPC")),
              QStringLiteral("VaskorLinkPC: Your Virtual Port is Still Open! Please Close the "
                             "Application using it First."));
}

class UnattendedDialogTest : public ::testing::Test {
protected:
    QStringList lines;
    std::vector<int> pauses;
    UnattendedSettingsRunner runner{QStringLiteral("VaskorLinkPC"),
                                    [this](const QString &line) { lines << line; },
                                    [this](int ms) { pauses.push_back(ms); }};
    QString remoteIP = QStringLiteral("127.0.0.1");
    qint32 port = 5555;
    QString com = QStringLiteral("COM4");
    bool cancel = true;
    bool settingsOn = true;

    void Show(const QString &error) {
        SettingsDialogVariables v{remoteIP, port, com, cancel, settingsOn, error,
                                  [](const QString &) { return false; }};
        runner.ShowModal(v, nullptr, {});
    }
};

TEST_F(UnattendedDialogTest, StartUpConnectsWithTheSavedSettingsWithoutPausing) {
    Show(QString());
    EXPECT_FALSE(cancel);
    EXPECT_FALSE(settingsOn);
    EXPECT_TRUE(pauses.empty());
    EXPECT_EQ(lines.size(), 1);
    EXPECT_EQ(remoteIP, QStringLiteral("127.0.0.1"));
}

TEST_F(UnattendedDialogTest, FailuresPauseLongerEachTimeUpTo30SecondsAndResetAfterSuccess) {
    for (int i = 0; i < 7; ++i) Show(QStringLiteral("Error connecting to host"));
    EXPECT_EQ(pauses, (std::vector<int>{1000, 2000, 4000, 8000, 16000, 30000, 30000}));
    EXPECT_EQ(lines.first(), QStringLiteral("Error connecting to host; trying again in 1 s"));
    EXPECT_FALSE(cancel);
    runner.LinkEstablished();
    Show(QStringLiteral("Error creating COM4"));
    EXPECT_EQ(pauses.back(), 1000);
    EXPECT_EQ(lines.last(), QStringLiteral("Error creating COM4; trying again in 1 s"));
}

}  // namespace
