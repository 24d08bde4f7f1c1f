// The Linux notification-area icon behind the tray seam.
#include <gtest/gtest.h>

#include <QPixmap>
#include <QSystemTrayIcon>
#include <QtEndian>

#include <vector>

#include "platform/TrayNotifier.h"

namespace {

QByteArray Record(quint32 window, quint32 id, quint32 flags, const QByteArray &tip) {
    QByteArray record(88, '\0');
    const quint32 fields[] = {88, window, id, flags, 0x200, 0x1234};
    for (int i = 0; i < 6; ++i) qToLittleEndian(fields[i], record.data() + 4 * i);
    QByteArray field = tip + '\0';
    field += QByteArray(64 - field.size(), ' ');
    record.replace(24, 64, field);
    return record;
}

QIcon SomeIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::green);
    return QIcon(pixmap);
}

}  // namespace

TEST(TrayRecord, ReadsTheFieldsAndTheTipUpToItsNul) {
    const auto fields = TrayRecord::Parse(Record(7, 1, 7, "VaskorLinkPC\r\nLeft-Click to Open\rx"));
    ASSERT_TRUE(fields.has_value());
    EXPECT_EQ(fields->size, 88U);
    EXPECT_EQ(fields->window, 7U);
    EXPECT_EQ(fields->id, 1U);
    EXPECT_EQ(fields->flags, 7U);
    EXPECT_EQ(fields->callbackMessage, 0x200U);
    EXPECT_EQ(fields->iconHandle, 0x1234U);
    EXPECT_EQ(fields->toolTip, QStringLiteral("VaskorLinkPC\nLeft-Click to Open\nx"));

    QByteArray full = Record(7, 1, 7, "");
    full.replace(24, 64, QByteArray(64, 'z'));  // no NUL at all: the field ends it
    EXPECT_EQ(TrayRecord::Parse(full)->toolTip, QString(64, QLatin1Char('z')));
    EXPECT_FALSE(TrayRecord::Parse(QByteArray(87, '\0')).has_value());
}

TEST(TrayActivation, ClicksBecomeWindowsMouseMessages) {
    using V = QList<quint32>;
    EXPECT_EQ(MouseMessagesForActivation(QSystemTrayIcon::Trigger), V({0x201, 0x202}));
    EXPECT_EQ(MouseMessagesForActivation(QSystemTrayIcon::DoubleClick), V({0x203, 0x202}));
    EXPECT_EQ(MouseMessagesForActivation(QSystemTrayIcon::Context), V({0x204, 0x205}));
    EXPECT_EQ(MouseMessagesForActivation(QSystemTrayIcon::MiddleClick), V({0x207, 0x208}));
    EXPECT_TRUE(MouseMessagesForActivation(QSystemTrayIcon::Unknown).isEmpty());
}

TEST(QtTrayNotifier, KnowsIconsByWindowAndId) {
    QtTrayNotifier tray;
    const QIcon icon = SomeIcon();
    EXPECT_FALSE(tray.NotifyIcon(TrayNotifier::Modify, Record(0, 0, 4, "early"), icon));
    EXPECT_FALSE(tray.NotifyIcon(TrayNotifier::Delete, QByteArray(88, '\0'), icon));
    EXPECT_FALSE(tray.NotifyIcon(TrayNotifier::Add, QByteArray(40, '\0'), icon));
    EXPECT_TRUE(tray.NotifyIcon(TrayNotifier::Add, Record(5, 1, 7, "tip"), icon));
    EXPECT_FALSE(tray.NotifyIcon(TrayNotifier::Add, Record(5, 1, 7, "again"), icon));
    EXPECT_TRUE(tray.NotifyIcon(TrayNotifier::Modify, Record(5, 1, 4, "line 1\r\nline 2"), icon));

    const auto shown = tray.findChildren<QSystemTrayIcon *>();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0]->toolTip(), QStringLiteral("line 1\nline 2"));
    EXPECT_FALSE(shown[0]->icon().isNull());

    EXPECT_FALSE(tray.NotifyIcon(TrayNotifier::Delete, Record(5, 2, 7, ""), icon));
    EXPECT_TRUE(tray.NotifyIcon(TrayNotifier::Delete, Record(5, 1, 7, ""), icon));
    EXPECT_FALSE(tray.NotifyIcon(TrayNotifier::Modify, Record(5, 1, 7, ""), icon));
}

TEST(QtTrayNotifier, ActivationsArriveAsMouseMessages) {
    QtTrayNotifier tray;
    std::vector<quint32> messages;
    QObject::connect(&tray, &TrayNotifier::MouseMessage,
                     [&](quint32 message, short) { messages.push_back(message); });
    ASSERT_TRUE(tray.NotifyIcon(TrayNotifier::Add, Record(5, 1, 7, "tip"), SomeIcon()));
    QSystemTrayIcon *icon = tray.findChild<QSystemTrayIcon *>();
    ASSERT_NE(icon, nullptr);
    emit icon->activated(QSystemTrayIcon::Trigger);
    emit icon->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(messages, std::vector<quint32>({0x201, 0x202, 0x204, 0x205}));

    // Without the message flag the icon does not call back.
    ASSERT_TRUE(tray.NotifyIcon(TrayNotifier::Add, Record(6, 1, 6, "quiet"), SomeIcon()));
    for (QSystemTrayIcon *each : tray.findChildren<QSystemTrayIcon *>())
        if (each != icon) emit each->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(messages.size(), 4U);
}
