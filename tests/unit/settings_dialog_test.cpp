#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

#include "config/QtSettingsDialogRunner.h"
#include "config/frmSettings.h"

namespace {

class SettingsDialogTest : public ::testing::Test {
protected:
    QString remoteIP = QStringLiteral("192.168.0.10");
    qint32 tcpPort = 5555;
    QString comPort = QStringLiteral("COM4");
    bool cancelSettings = false;
    bool settingsOn = true;
    QSet<QString> existingPorts;
    QStringList portsAsked;
    int beeps = 0;
    SettingsDialogVariables vars{remoteIP,
                                 tcpPort,
                                 comPort,
                                 cancelSettings,
                                 settingsOn,
                                 QString(),
                                 [this](const QString &name) {
                                     portsAsked << name;
                                     return existingPorts.contains(name);
                                 }};
    std::unique_ptr<frmSettings> dialog;

    void Open(const QString &errorMessage = QString()) {
        vars.ErrorMessage = errorMessage;
        dialog = std::make_unique<frmSettings>(vars, [this] { ++beeps; });
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
    template <typename Control>
    Control *Find(const char *name) const {
        auto *control = dialog->findChild<Control *>(QLatin1String(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    QLineEdit *RemoteIP() const { return Find<QLineEdit>("txtRemoteIP"); }
    QLineEdit *Port() const { return Find<QLineEdit>("txtLocalIPport"); }
    QComboBox *ComPort() const { return Find<QComboBox>("cboComPort"); }
    QString ErrorLabel() const { return Find<QLabel>("lblErrorMessage")->text(); }
    QString FocusName() const {
        QWidget *focus = QApplication::focusWidget();
        // The combo box's line edit stands for the combo box.
        if (focus && focus->parentWidget() == ComPort()) focus = ComPort();
        return focus ? focus->objectName() : QString();
    }

    // Replaces a field's text by typing, as a user would.
    static void Type(QWidget *field, const QString &text) {
        field->setFocus();
        QWidget *target = QApplication::focusWidget();
        QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(target, Qt::Key_Delete);
        QTest::keyClicks(target, text);
    }
    void ClickConnect() { QTest::mouseClick(Find<QPushButton>("cmdOk"), Qt::LeftButton); }
};

TEST_F(SettingsDialogTest, OpensWithTheVariablesTheListAndFocusInTheAddress) {
    Open(QStringLiteral("Error connecting to host"));
    EXPECT_EQ(ErrorLabel(), QStringLiteral("Error connecting to host"));
    EXPECT_EQ(RemoteIP()->text(), QStringLiteral("192.168.0.10"));
    EXPECT_EQ(Port()->text(), QStringLiteral("5555"));
    EXPECT_EQ(ComPort()->currentText(), QStringLiteral("COM4"));
    ASSERT_EQ(ComPort()->count(), 16);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(ComPort()->itemText(i), QStringLiteral("COM") + QString::number(i + 1));
    }
    EXPECT_EQ(Find<QGroupBox>("Frame1")->title(), QStringLiteral("VaskorLinkPC Settings"));
    EXPECT_EQ(Find<QPushButton>("cmdOk")->text(), QStringLiteral("Connect"));
    EXPECT_EQ(Find<QPushButton>("cmdCancel")->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(FocusName(), QStringLiteral("txtRemoteIP"));
    EXPECT_TRUE(settingsOn);
}

TEST_F(SettingsDialogTest, OpensWithAnEmptyErrorLabelAndShowsMarkupLiterally) {
    comPort = QStringLiteral("<b>COM99</b>");
    Open();
    EXPECT_EQ(ErrorLabel(), QString());
    EXPECT_EQ(ComPort()->currentText(), QStringLiteral("<b>COM99</b>"));
    EXPECT_EQ(Find<QLabel>("lblErrorMessage")->textFormat(), Qt::PlainText);
}

TEST_F(SettingsDialogTest, TabMovesThroughTheFieldsThenTheButtons) {
    Open();
    QStringList order{FocusName()};
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << FocusName();
    }
    EXPECT_EQ(order, (QStringList{QStringLiteral("txtRemoteIP"), QStringLiteral("txtLocalIPport"),
                                  QStringLiteral("cboComPort"), QStringLiteral("cmdCancel"),
                                  QStringLiteral("cmdOk"), QStringLiteral("txtRemoteIP")}));
}

TEST_F(SettingsDialogTest, LaysOutTheControlsInTwipsAtTheScreensDpi) {
    Open();
    const double x = dialog->logicalDpiX() / 1440.0;
    const double y = dialog->logicalDpiY() / 1440.0;
    const auto twips = [&](int left, int top, int width, int height) {
        return QRect(qRound(left * x), qRound(top * y), qRound(width * x), qRound(height * y));
    };
    EXPECT_EQ(dialog->size(), twips(0, 0, 3015, 2415).size());
    EXPECT_EQ(Find<QGroupBox>("Frame1")->geometry(), twips(120, 0, 2775, 2292));
    EXPECT_EQ(ComPort()->geometry(), twips(1440, 1320, 1212, 315));
    EXPECT_EQ(Find<QPushButton>("cmdOk")->geometry(), twips(120, 1800, 1095, 372));

    EXPECT_EQ(dialog->palette().color(QPalette::Window), QColor(64, 64, 64));
    EXPECT_EQ(Find<QLabel>("Label1")->palette().color(QPalette::WindowText), QColor(Qt::white));
    auto *error = Find<QLabel>("lblErrorMessage");
    EXPECT_EQ(error->palette().color(QPalette::WindowText), QColor(255, 255, 128));
    EXPECT_TRUE(error->font().bold());
    EXPECT_DOUBLE_EQ(error->font().pointSizeF(), 8.25);
}

struct CheckCase {
    const char *name;
    const char *remoteIP;
    const char *port;
    const char *comPort;
    const char *message;  // nullptr: accepted
    const char *focus;
    qint32 storedPort;
};

TEST_F(SettingsDialogTest, ConnectChecksTheEntriesInOrder) {
    const CheckCase cases[] = {
        {"blank address", "   ", "5555", "COM4", "Remote IP not specified", "txtRemoteIP", 0},
        {"blank address before bad port", "", "x", "COM1", "Remote IP not specified", "txtRemoteIP",
         0},
        {"empty port", "h", "", "COM4", "TCP Port not numeric", "txtLocalIPport", 0},
        {"port with letters", "h", "80a", "COM4", "TCP Port not numeric", "txtLocalIPport", 0},
        {"port with bad exponent", "h", "1e", "COM4", "TCP Port not numeric", "txtLocalIPport", 0},
        {"negative port", "h", "-1", "COM4", "TCP Port not valid", "txtLocalIPport", 0},
        {"port too large", "h", "65536", "COM4", "TCP Port not valid", "txtLocalIPport", 0},
        {"port just too large", "h", "65535.4", "COM4", "TCP Port not valid", "txtLocalIPport", 0},
        {"port overflowing", "h", "1e999", "COM4", "TCP Port not valid", "txtLocalIPport", 0},
        {"existing port", "h", "80", "COM1", "COM Port already exists", "cboComPort", 0},
        {"port 0", "h", "0", "COM4", nullptr, nullptr, 0},
        {"port 65535", "h", "65535", "COM4", nullptr, nullptr, 65535},
        {"fraction rounds half to even", "h", "8080.5", "COM4", nullptr, nullptr, 8080},
        {"exponent", "h", "5.5e3", "COM4", nullptr, nullptr, 5500},
        {"blanks around port", " 10.0.0.7 ", " 8080 ", "COM4", nullptr, nullptr, 8080},
        {"name not in list", "h", "1", "COM20", nullptr, nullptr, 1},
        {"name as typed, not completed", "h", "1", "COM", nullptr, nullptr, 1},
        {"empty name", "h", "1", "", nullptr, nullptr, 1},
    };
    for (const CheckCase &c : cases) {
        SCOPED_TRACE(c.name);
        existingPorts = {QStringLiteral("COM1")};
        portsAsked.clear();
        beeps = 0;
        settingsOn = true;
        cancelSettings = true;
        remoteIP = QStringLiteral("old");
        tcpPort = 5555;
        comPort = QStringLiteral("COM4");
        Open(QStringLiteral("earlier error"));
        QSignalSpy accepted(dialog.get(), &QDialog::accepted);

        Type(RemoteIP(), QString::fromUtf8(c.remoteIP));
        Type(Port(), QString::fromUtf8(c.port));
        Type(ComPort(), QString::fromUtf8(c.comPort));
        ClickConnect();

        if (c.message) {
            EXPECT_EQ(ErrorLabel(), QString::fromUtf8(c.message));
            EXPECT_EQ(FocusName(), QString::fromUtf8(c.focus));
            EXPECT_EQ(beeps, 1);
            EXPECT_TRUE(dialog->isVisible());
            EXPECT_EQ(accepted.count(), 0);
            EXPECT_EQ(remoteIP, QStringLiteral("old"));
            EXPECT_EQ(tcpPort, 5555);
            EXPECT_EQ(comPort, QStringLiteral("COM4"));
            EXPECT_TRUE(cancelSettings);
            EXPECT_TRUE(settingsOn);
        } else {
            EXPECT_EQ(beeps, 0);
            EXPECT_FALSE(dialog->isVisible());
            EXPECT_EQ(accepted.count(), 1);
            EXPECT_EQ(remoteIP, QString::fromUtf8(c.remoteIP));
            EXPECT_EQ(tcpPort, c.storedPort);
            EXPECT_EQ(comPort, QString::fromUtf8(c.comPort));
            EXPECT_EQ(portsAsked, QStringList{QString::fromUtf8(c.comPort)});
            EXPECT_FALSE(cancelSettings);
            EXPECT_FALSE(settingsOn);
        }
    }
}

TEST_F(SettingsDialogTest, EachFailedTryReplacesTheMessageAndBeepsAgain) {
    Open();
    Type(Port(), QStringLiteral("abc"));
    ClickConnect();
    Type(Port(), QStringLiteral("70000"));
    ClickConnect();
    EXPECT_EQ(ErrorLabel(), QStringLiteral("TCP Port not valid"));
    EXPECT_EQ(beeps, 2);
    Type(Port(), QStringLiteral("7000"));
    ClickConnect();
    EXPECT_EQ(tcpPort, 7000);
}

TEST_F(SettingsDialogTest, EnterIsConnectFromEveryField) {
    for (const char *field : {"txtRemoteIP", "txtLocalIPport", "cboComPort"}) {
        SCOPED_TRACE(field);
        tcpPort = 5555;
        settingsOn = true;
        cancelSettings = true;
        Open();
        QSignalSpy accepted(dialog.get(), &QDialog::accepted);
        Type(Port(), QStringLiteral("6000"));
        dialog->findChild<QWidget *>(QLatin1String(field))->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_EQ(accepted.count(), 1);
        EXPECT_EQ(tcpPort, 6000);
        EXPECT_FALSE(cancelSettings);
        EXPECT_FALSE(settingsOn);
        EXPECT_EQ(portsAsked.count(), 1);
        portsAsked.clear();
    }
}

TEST_F(SettingsDialogTest, EscIsCancelFromEveryField) {
    for (const char *field : {"txtRemoteIP", "txtLocalIPport", "cboComPort", "cmdOk"}) {
        SCOPED_TRACE(field);
        settingsOn = true;
        cancelSettings = false;
        Open();
        Type(Port(), QStringLiteral("6000"));
        Type(RemoteIP(), QStringLiteral("changed"));
        dialog->findChild<QWidget *>(QLatin1String(field))->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_TRUE(cancelSettings);
        EXPECT_FALSE(settingsOn);
        EXPECT_EQ(tcpPort, 5555);
        EXPECT_EQ(remoteIP, QStringLiteral("192.168.0.10"));
        EXPECT_TRUE(portsAsked.isEmpty());
    }
}

TEST_F(SettingsDialogTest, CancelButtonCancels) {
    Open();
    QTest::mouseClick(Find<QPushButton>("cmdCancel"), Qt::LeftButton);
    EXPECT_TRUE(cancelSettings);
    EXPECT_FALSE(settingsOn);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(SettingsDialogTest, ClosingTheWindowClearsSettingsOnButKeepsCancelSettings) {
    for (const bool before : {false, true}) {
        cancelSettings = before;
        settingsOn = true;
        Open();
        EXPECT_TRUE(dialog->close());
        EXPECT_EQ(cancelSettings, before);
        EXPECT_FALSE(settingsOn);
    }
}

TEST(QtSettingsDialogRunner, ShowsTheDialogModallyAtThePlaceGivenUntilItCloses) {
    QString remoteIP = QStringLiteral("127.0.0.1");
    qint32 port = 1;
    QString com = QStringLiteral("COM4");
    bool cancel = true;
    bool on = true;
    int beeps = 0;
    SettingsDialogVariables vars{remoteIP,
                                 port,
                                 com,
                                 cancel,
                                 on,
                                 QStringLiteral("Error creating COM4"),
                                 [](const QString &) { return false; }};
    QtSettingsDialogRunner runner([&beeps] { ++beeps; });
    QPoint shownAt;
    QString errorShown;
    QTimer::singleShot(0, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        shownAt = modal->pos();
        errorShown = modal->findChild<QLabel *>(QStringLiteral("lblErrorMessage"))->text();
        auto *portField = modal->findChild<QLineEdit *>(QStringLiteral("txtLocalIPport"));
        portField->clear();
        QTest::keyClicks(portField, QStringLiteral("x"));
        QTest::keyClick(portField, Qt::Key_Return);  // fails: stays open, beeps
        portField->clear();
        QTest::keyClicks(portField, QStringLiteral("7777"));
        QTest::keyClick(portField, Qt::Key_Return);
    });
    runner.ShowModal(vars, nullptr, QPoint(40, 60));
    EXPECT_EQ(shownAt, QPoint(40, 60));
    EXPECT_EQ(errorShown, QStringLiteral("Error creating COM4"));
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(port, 7777);
    EXPECT_FALSE(cancel);
    EXPECT_FALSE(on);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(QtSettingsDialogRunner, UnloadEndsTheDialogLikeTheCloseButton) {
    QString remoteIP;
    qint32 port = 1;
    QString com;
    bool cancel = false;
    bool on = true;
    SettingsDialogVariables vars{remoteIP, port, com, cancel, on, QString(), {}};
    QtSettingsDialogRunner runner;
    QTimer::singleShot(0, [&runner] { runner.Unload(); });
    runner.ShowModal(vars, nullptr, QPoint(0, 0));
    EXPECT_FALSE(on);
    EXPECT_FALSE(cancel);
    runner.Unload();  // nothing open: no effect
}

TEST(QtSettingsDialogRunner, ReturnsWhenTheOwnerIsDestroyedWhileTheDialogIsOpen) {
    QString remoteIP;
    qint32 port = 1;
    QString com;
    bool cancel = false;
    bool on = true;
    SettingsDialogVariables vars{remoteIP, port, com, cancel, on, QString(), {}};
    auto *owner = new QWidget;
    QtSettingsDialogRunner runner;
    QTimer::singleShot(0, [owner] { delete owner; });
    runner.ShowModal(vars, owner, QPoint(0, 0));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
