// The settings dialog asked about real ports: a serial device and a port
// that another running copy of the program has made both count as taken.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "config/frmSettings.h"
#include "platform/PortNames.h"
#include "platform/PtyDriver.h"

namespace {

class ExistingPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFile::setPermissions(portDir.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("VASKORLINK_PORT_DIR", QFile::encodeName(portDir.path()));
    }
    void TearDown() override { qunsetenv("VASKORLINK_PORT_DIR"); }

    // Types `name` as the COM port and presses Connect; the error label.
    QString TryPort(const QString &name) {
        QString remoteIP = QStringLiteral("127.0.0.1");
        qint32 port = 5555;
        QString com;
        bool cancel = true;
        bool settingsOn = true;
        SettingsDialogVariables vars{remoteIP, port, com, cancel, settingsOn, QString(),
                                     [](const QString &n) { return SerialDeviceExists(n); }};
        frmSettings dialog(vars, [] {});
        dialog.show();
        auto *combo = dialog.findChild<QComboBox *>(QStringLiteral("cboComPort"));
        combo->setEditText(name);
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdOk")), Qt::LeftButton);
        return dialog.findChild<QLabel *>(QStringLiteral("lblErrorMessage"))->text();
    }

    QTemporaryDir portDir;
};

TEST_F(ExistingPortTest, AnotherInstancesPortAndARealTerminalAreRefused) {
    // Another copy of the program holds COM9.
    auto other = CreatePtyDriver();
    ASSERT_TRUE(other);
    ASSERT_TRUE(other->CreatePort(QStringLiteral("COM9")));
    const QString taken = QStringLiteral("COM Port already exists");
    EXPECT_EQ(TryPort(QStringLiteral("COM9")), taken);
    // A terminal device given by its path.
    const auto *pty = static_cast<PtyDriver *>(other.get());
    EXPECT_EQ(TryPort(QString::fromLocal8Bit(pty->SlavePath())), taken);
    // A free name is accepted.
    EXPECT_TRUE(TryPort(QStringLiteral("COM10")).isEmpty());
}

}  // namespace
