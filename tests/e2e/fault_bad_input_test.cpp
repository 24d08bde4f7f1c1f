// Hostile input to the real program and to the parts that take it: INI
// files full of junk, port names that cannot be ports, and text in the
// settings dialog that no one would type. The answer is always a clear
// refusal or an acceptance, never a crash.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <memory>

#include "config/frmSettings.h"
#include "platform/PtyDriver.h"
#include "support/LinkedProgram.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

QByteArray RandomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : bytes) c = static_cast<char>(generator.bounded(256));
    return bytes;
}

QByteArray InvalidUtf8(qsizetype size) {
    // Stray continuation bytes, overlong forms, encoded surrogates, bytes
    // that never occur, and sequences cut short.
    const QByteArray pieces[] = {"\x80",         "\xbf\xbf",     "\xc0\xaf",
                                 "\xe0\x80\xaf", "\xed\xa0\x80", "\xf8\x88\x80\x80\x80",
                                 "\xfe\xff",     "\xe2\x82",     "\xf0\x9f\x98"};
    QByteArray bytes;
    for (int i = 0; bytes.size() < size; ++i) bytes += pieces[i % std::size(pieces)];
    return bytes;
}

QByteArray Repeated(const QByteArray &line, int times) {
    QByteArray bytes;
    bytes.reserve(line.size() * times);
    for (int i = 0; i < times; ++i) bytes += line;
    return bytes;
}

QByteArray ManySections(int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i) bytes += "[S" + QByteArray::number(i) + "]\r\nTop=1\r\n";
    return bytes;
}

// The program's own settings come last, after the junk, so it still talks
// to the device on 127.0.0.1 and nowhere else.
TEST(BadInput, TheProgramRunsOnAfterAnIniFileFullOfJunkAndRewritesItClean) {
    constexpr qsizetype kMiB = 1 << 20;
    const struct {
        const char *what;
        QByteArray junk;
    } files[] = {
        {"binary, NULs, invalid UTF-8",
         RandomBytes(kMiB, 5) + QByteArray(kMiB, '\0') + InvalidUtf8(kMiB)},
        {"CR only, LF only, a 1 MB line",
         QByteArray(kMiB, '\r') + QByteArray(kMiB, '\n') +
             "[VASKORLINKPC]\r\nRemoteIP=" + QByteArray(kMiB, 'x')},
        {"100,000 sections, one key 100,000 times",
         ManySections(100000) + "[VASKORLINKPC]\r\n" + Repeated("TCPport = 1\r\n", 100000)},
    };
    for (const auto &file : files) {
        SCOPED_TRACE(file.what);
        LinkedProgram link;
        link.iniPrefix = file.junk + "\r\n";
        std::string why;
        ASSERT_TRUE(link.Start(&why)) << why;
        PtyClient client;
        ASSERT_TRUE(link.OpenClient(client, &why)) << why;
        client.Close();
        RunEventLoopFor(100ms);
        link.program.Signal(SIGTERM);
        ASSERT_EQ(link.program.WaitExit(20s), 0);
        const QByteArray ini = link.program.ReadIni();
        EXPECT_EQ(ini.count("\r\n"), 12);
        EXPECT_TRUE(ini.startsWith("[VASKORLINKPC]\r\n   Top          = "));
        EXPECT_TRUE(ini.contains("   RemoteIP     = 127.0.0.1\r\n"));
        EXPECT_TRUE(
            ini.contains("   TCPport      = " + QByteArray::number(link.device.Port()) + "\r\n"));
        EXPECT_TRUE(ini.contains("   AutoStart    = True\r\n"));
    }
}

// Names that cannot be ports reach the driver through the INI file as they
// would through the dialog: the program reports that it cannot create the
// port, stays up, and has made nothing anywhere.
TEST(BadInput, PortNamesThatCannotBePortsAreRefusedAndTheProgramStaysUp) {
    const struct {
        const char *what;
        QByteArray iniValue;
        QByteArray reported;
    } names[] = {
        {"empty", "", "Error creating "},
        {"5000 characters", QByteArray(5000, 'A'), "Error creating AAAA"},
        {"the root directory", "/", "Error creating /"},
        {"the parent directory", "..", "Error creating .."},
        {"a NUL inside", QByteArray("CO\0M4", 5), "Error creating CO"},
        {"a folder that does not exist", "nowhere/COM4", "Error creating nowhere/COM4"},
        {"a place not writable", "/proc/vaskor-COM4", "Error creating /proc/vaskor-COM4"},
    };
    for (const auto &name : names) {
        SCOPED_TRACE(name.what);
        LinkedProgram link;
        // The name comes later in the file than the runner's own COMport.
        std::string why;
        ASSERT_TRUE(link.Start(&why, "COMport = " + name.iniValue + "\r\n", false)) << why;
        EXPECT_TRUE(link.program.WaitStandardErrorContains(name.reported, 10s))
            << link.program.StandardErrorSoFar().left(300).toStdString();
        EXPECT_TRUE(link.program.Running());
        EXPECT_TRUE(QDir(link.program.PortDir()).isEmpty());
        EXPECT_EQ(
            QDir(link.program.Folder())
                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
            (QStringList{QStringLiteral("VaskorLinkPC"), QStringLiteral("VaskorLinkPC.ini")}));
        link.program.Signal(SIGTERM);
        EXPECT_EQ(link.program.WaitExit(20s), 0);
    }
}

// A TCP port outside 0..65535 can only come from a hand-edited INI file (the
// dialog refuses it). It must not be cut to 16 bits, which would connect to
// some other port: here exactly the device's, which must see no connection.
TEST(BadInput, ATcpPortOutOfRangeIsAFailedConnectionNotAnotherPort) {
    for (const int offset : {65536, -65536}) {
        SCOPED_TRACE(offset);
        LoopbackServer device;
        ASSERT_NE(device.Port(), 0);
        ProgramRunner program;
        program.WriteIni(ProgramRunner::IniText(QStringLiteral("127.0.0.1"), device.Port() + offset,
                                                QStringLiteral("COM4"), true, 300));
        ASSERT_TRUE(program.Start());
        EXPECT_TRUE(program.WaitStandardErrorContains("Error connecting to host", 10s))
            << program.StandardErrorSoFar().toStdString();
        EXPECT_FALSE(device.Accept(500ms)) << "connected to the port cut to 16 bits";
        EXPECT_TRUE(program.Running());
    }
}

// The driver itself, with names the relay tests do not try: too long for a
// file name or a path, a directory, a trailing slash, a missing folder, and
// a file that exists. Refused without a descriptor kept; a name beyond
// Latin letters is a name like any other.
TEST(BadInput, TheDriverRefusesNamesThatCannotBePortsAndAcceptsNonLatinOnes) {
    QTemporaryDir dir;
    ASSERT_TRUE(
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("VASKORLINK_PORT_DIR", QFile::encodeName(dir.path()));
    const QString file = dir.path() + QStringLiteral("/file");
    ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
    const QString bad[] = {
        QString(256, QLatin1Char('A')),
        QString(5000, QLatin1Char('A')),
        QStringLiteral("/") + QString(5000, QLatin1Char('a')),
        QStringLiteral("/"),
        dir.path() + QStringLiteral("/COM4/"),
        dir.path() + QStringLiteral("/missing/COM4"),
        file,
        QStringLiteral("COM4\r\n"),
        QStringLiteral("COM4") + QChar(0),
    };
    PtyDriver driver;
    const int descriptors =
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System).size();
    for (const QString &name : bad) {
        EXPECT_FALSE(driver.CreatePort(name)) << name.left(40).toStdString();
    }
    EXPECT_EQ(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System).size(),
        descriptors);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("file")});

    const QString nonLatin = QStringLiteral("\u041f\u041e\u0420\u0422-\u4e32\u53e3");
    ASSERT_TRUE(driver.CreatePort(nonLatin));
    EXPECT_TRUE(QFileInfo(dir.path() + QLatin1Char('/') + nonLatin).isSymLink());
    driver.RemovePort();
    qunsetenv("VASKORLINK_PORT_DIR");
}

class HostileDialogText : public ::testing::Test {
protected:
    QString remoteIP = QStringLiteral("192.168.0.10");
    qint32 tcpPort = 5555;
    QString comPort = QStringLiteral("COM4");
    bool cancelSettings = true;
    bool settingsOn = true;
    SettingsDialogVariables vars{
        remoteIP, tcpPort, comPort, cancelSettings, settingsOn, QString(), [](const QString &) {
            return false;
        }};
};

// Each field in turn gets text no one would type, the others stay valid;
// Connect then either refuses with one of the dialog's messages or takes
// the entries as the fields show them.
TEST_F(HostileDialogText, EveryFieldTakesHugeControlAndNonLatinTextWithoutHarm) {
    const QString megabyte(1 << 20, QLatin1Char('7'));
    const QString texts[] = {
        megabyte,
        QString(1 << 20, QChar(0x4e32)),
        QStringLiteral("\x01\x02\t\r\n\x1b[2J\x7f"),
        QStringLiteral("a") + QChar(0) + QStringLiteral("b"),
        QStringLiteral("\u0443\u0441\u0442\u0440\u043e\u0439\u0441\u0442\u0432\u043e.local"),
        QStringLiteral("\u0967\u0968\u0969"),  // digits, but not ASCII ones
        QStringLiteral("\U0001F4A9\uFFFD\uFEFF"),
        QString(QChar(0xD800)),  // a lone surrogate
    };
    const QStringList messages = {QStringLiteral("Remote IP not specified"),
                                  QStringLiteral("TCP Port not numeric"),
                                  QStringLiteral("TCP Port not valid")};
    for (int field = 0; field < 3; ++field) {
        for (const QString &text : texts) {
            SCOPED_TRACE(testing::Message() << "field " << field << ", text of " << text.size());
            remoteIP = QStringLiteral("192.168.0.10");
            tcpPort = 5555;
            comPort = QStringLiteral("COM4");
            cancelSettings = true;
            frmSettings dialog(vars, [] {});
            dialog.show();
            auto *address = dialog.findChild<QLineEdit *>(QStringLiteral("txtRemoteIP"));
            auto *port = dialog.findChild<QLineEdit *>(QStringLiteral("txtLocalIPport"));
            auto *name = dialog.findChild<QComboBox *>(QStringLiteral("cboComPort"));
            ASSERT_TRUE(address && port && name);
            if (field == 0) address->setText(text);
            if (field == 1) port->setText(text);
            if (field == 2) name->setEditText(text);
            const QString shownAddress = address->text();
            const QString shownName = name->currentText();
            QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdOk")),
                              Qt::LeftButton);
            const QString error =
                dialog.findChild<QLabel *>(QStringLiteral("lblErrorMessage"))->text();
            if (dialog.isVisible()) {
                EXPECT_TRUE(messages.contains(error)) << error.left(80).toStdString();
                EXPECT_TRUE(cancelSettings);
            } else {
                EXPECT_FALSE(cancelSettings);
                EXPECT_EQ(remoteIP, shownAddress);
                EXPECT_EQ(comPort, shownName);
                EXPECT_GE(tcpPort, 0);
                EXPECT_LE(tcpPort, 65535);
            }
            // Only digits make a port; no other field is refused for such text.
            if (field == 1) {
                EXPECT_TRUE(dialog.isVisible() || text == megabyte);
            } else {
                EXPECT_FALSE(dialog.isVisible()) << error.toStdString();
            }
        }
    }
}

}  // namespace
