// The tray icon control on a recording notifier.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <QtEndian>

#include <memory>
#include <vector>

#include "shell/SysTray.h"
#include "shell/VbError.h"
#include "support/FakeTrayNotifier.h"

namespace {

QIcon SomeIcon(Qt::GlobalColor colour = Qt::blue) {
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

quint32 Field(const QByteArray &record, int offset) {
    return qFromLittleEndian<quint32>(record.constData() + offset);
}

QByteArray TipField(const QByteArray &text) {
    QByteArray field = text + '\0';
    return field + QByteArray(64 - field.size(), ' ');
}

struct Event {
    char kind;  // 'D' down, 'U' up
    short button;
    short shift;
    bool operator==(const Event &) const = default;
};

class SysTrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.setWindowFlag(Qt::FramelessWindowHint);
        form.setGeometry(40, 50, 131, 231);
        tray = std::make_unique<SysTray>(notifier);
        QObject::connect(tray.get(), &SysTray::MouseDown, [this](short &b, short &s) {
            events.push_back({'D', b, s});
            if (onDown) onDown();
        });
        QObject::connect(tray.get(), &SysTray::MouseUp, [this](short &b, short &s) {
            events.push_back({'U', b, s});
        });
    }

    void ReadyToAdd() {
        tray->SetParentForm(&form);
        tray->SetIcon(icon);
        tray->SetToolTip(QStringLiteral("VaskorLinkPC\r\nLeft-Click to Open"));
        notifier.calls.clear();
    }

    FakeTrayNotifier notifier;
    QWidget form;
    QIcon icon = SomeIcon();
    std::unique_ptr<SysTray> tray;
    std::vector<Event> events;
    std::function<void()> onDown;
};

}  // namespace

TEST_F(SysTrayTest, NotifyAddFillsTheRecordByteForByte) {
    ReadyToAdd();
    tray->NotifyAdd();
    ASSERT_EQ(notifier.calls.size(), 1U);
    EXPECT_EQ(notifier.calls[0].message, TrayNotifier::Add);
    const QByteArray record = notifier.calls[0].record;
    ASSERT_EQ(record.size(), 88);
    EXPECT_EQ(record, tray->NotificationRecord());
    EXPECT_EQ(Field(record, 0), 88U);
    EXPECT_EQ(Field(record, 4), tray->hWnd());
    EXPECT_NE(tray->hWnd(), 0U);
    EXPECT_EQ(Field(record, 8), 1U);
    EXPECT_EQ(Field(record, 12), 7U);
    EXPECT_EQ(Field(record, 16), 0x200U);
    EXPECT_EQ(Field(record, 20), SysTray::IconHandle(icon));
    EXPECT_NE(Field(record, 20), 0U);
    EXPECT_EQ(record.mid(24), TipField("VaskorLinkPC\r\nLeft-Click to Open"));
    EXPECT_TRUE(notifier.calls[0].icon.cacheKey() == icon.cacheKey());
    EXPECT_EQ(notifier.LastToolTip(), QStringLiteral("VaskorLinkPC\nLeft-Click to Open"));
}

TEST_F(SysTrayTest, NotifyAddMinimizesTheParentWithoutMappingAHiddenOne) {
    ReadyToAdd();
    tray->NotifyAdd();
    EXPECT_TRUE(form.isMinimized());
    EXPECT_FALSE(form.isVisible());
    form.showNormal();
    tray->NotifyAdd();
    EXPECT_TRUE(form.isMinimized());
    EXPECT_TRUE(form.isVisible());
}

TEST_F(SysTrayTest, NotifyAddWithoutParentFormFailsWithError91AndDoesNothing) {
    tray->SetIcon(icon);
    notifier.calls.clear();
    try {
        tray->NotifyAdd();
        FAIL() << "no error";
    } catch (const VbError &error) {
        EXPECT_EQ(error.number, 91);
        EXPECT_EQ(error.description, QStringLiteral("Parent Form Property not Set"));
    }
    EXPECT_TRUE(notifier.calls.empty());
    // Only the icon setter has written to the record.
    EXPECT_EQ(tray->NotificationRecord().left(20), QByteArray(20, '\0'));
    EXPECT_EQ(tray->NotificationRecord().mid(24), QByteArray(64, '\0'));
}

TEST_F(SysTrayTest, NotifyAddWithoutIconFailsAfterShowingTheForm) {
    tray->SetParentForm(&form);
    try {
        tray->NotifyAdd();
        FAIL() << "no error";
    } catch (const VbError &error) {
        EXPECT_EQ(error.number, 91);
    }
    EXPECT_TRUE(form.isMinimized());
    EXPECT_FALSE(notifier.IconShown());
    EXPECT_THROW(tray->SetIcon(QIcon()), VbError);
    EXPECT_TRUE(notifier.calls.empty());
}

TEST_F(SysTrayTest, SettersModifyOnlyTheirFieldAndRaiseTheirEvents) {
    QStringList tips;
    std::vector<qint64> icons;
    QObject::connect(tray.get(), &SysTray::ToolTipChange, [&](const QString &t) { tips << t; });
    QObject::connect(tray.get(), &SysTray::IconChange,
                     [&](const QIcon &i) { icons.push_back(i.cacheKey()); });
    EXPECT_EQ(tray->ToolTip(), QStringLiteral("SysTray ToolTip"));

    // Before NotifyAdd the record's size, window and id are still zero.
    tray->SetToolTip(QStringLiteral("first"));
    ASSERT_EQ(notifier.calls.size(), 1U);
    EXPECT_EQ(notifier.calls[0].message, TrayNotifier::Modify);
    EXPECT_EQ(notifier.calls[0].record, QByteArray(24, '\0') + TipField("first"));

    tray->SetParentForm(&form);
    tray->SetIcon(icon);
    tray->NotifyAdd();
    const QByteArray added = tray->NotificationRecord();

    const QIcon other = SomeIcon(Qt::red);
    tray->SetIcon(other);
    QByteArray expected = added;
    qToLittleEndian(SysTray::IconHandle(other), expected.data() + 20);
    EXPECT_EQ(notifier.calls.back().message, TrayNotifier::Modify);
    EXPECT_EQ(notifier.calls.back().record, expected);
    EXPECT_NE(SysTray::IconHandle(other), SysTray::IconHandle(icon));

    tray->SetToolTip(QStringLiteral("second"));
    expected.replace(24, 64, TipField("second"));
    EXPECT_EQ(notifier.calls.back().record, expected);
    EXPECT_EQ(tray->ToolTip(), QStringLiteral("second"));

    EXPECT_EQ(tips, QStringList({QStringLiteral("first"), QStringLiteral("second")}));
    EXPECT_EQ(icons, std::vector<qint64>({icon.cacheKey(), other.cacheKey()}));
    EXPECT_EQ(tray->Icon().cacheKey(), other.cacheKey());
}

TEST_F(SysTrayTest, LongToolTipsAreCutToWholeCharactersBeforeTheNul) {
    const QString tip63(63, QLatin1Char('a'));
    tray->SetToolTip(tip63);
    EXPECT_EQ(tray->NotificationRecord().mid(24), tip63.toLatin1() + '\0');

    tray->SetToolTip(QString(64, QLatin1Char('b')) + QStringLiteral("cdef"));
    EXPECT_EQ(tray->NotificationRecord().mid(24), QByteArray(63, 'b') + '\0');
    EXPECT_EQ(tray->ToolTip().size(), 68);  // the property keeps the whole text

    // Two bytes per character in UTF-8: 31 fit, the 32nd would need byte 64.
    tray->SetToolTip(QString(40, QChar(0xE9)));
    const QByteArray field = tray->NotificationRecord().mid(24);
    EXPECT_EQ(field.left(63), QString(31, QChar(0xE9)).toUtf8() + '\0');
    EXPECT_EQ(field.at(63), ' ');

    // A character outside the BMP is never split between its two halves.
    const QString link = QString::fromUcs4(U"\U0001F517");
    tray->SetToolTip(QString(30, QLatin1Char('a')) + link.repeated(10));
    const QByteArray kept = (QString(30, QLatin1Char('a')) + link.repeated(8)).toUtf8();
    EXPECT_EQ(tray->NotificationRecord().mid(24, kept.size() + 1), kept + '\0');
}

TEST_F(SysTrayTest, RequestsGoAddModifyDeleteAndTheDestructorRemovesTheIcon) {
    ReadyToAdd();
    tray->NotifyAdd();
    tray->SetToolTip(QStringLiteral("changed"));
    const QByteArray last = tray->NotificationRecord();
    tray.reset();
    ASSERT_EQ(notifier.calls.size(), 3U);
    EXPECT_EQ(notifier.calls[0].message, TrayNotifier::Add);
    EXPECT_EQ(notifier.calls[1].message, TrayNotifier::Modify);
    EXPECT_EQ(notifier.calls[2].message, TrayNotifier::Delete);
    EXPECT_EQ(notifier.calls[2].record, last);
    EXPECT_FALSE(notifier.IconShown());
}

TEST_F(SysTrayTest, RemoveBeforeAddSendsAnEmptyRecord) {
    tray->NotifyRemove();
    ASSERT_EQ(notifier.calls.size(), 1U);
    EXPECT_EQ(notifier.calls[0].message, TrayNotifier::Delete);
    EXPECT_EQ(notifier.calls[0].record, QByteArray(88, '\0'));
    SysTray second(notifier);
    EXPECT_NE(second.hWnd(), tray->hWnd());
}

TEST_F(SysTrayTest, MouseMessagesMapToButtonsAndPassShiftThrough) {
    tray->SetParentForm(&form);
    for (int message = 0x1FF; message <= 0x20A; ++message) tray->HandleCallback(message, false, 3);
    const std::vector<Event> expected{{'D', 1, 3}, {'U', 1, 3}, {'D', 2, 3},
                                      {'U', 2, 3}, {'D', 4, 3}, {'U', 4, 3}};
    EXPECT_EQ(events, expected);
}

TEST_F(SysTrayTest, LeftDoubleClickSequence) {
    tray->SetParentForm(&form);
    for (quint32 message : {0x201U, 0x202U, 0x203U, 0x202U}) notifier.Click(message, 1);
    const std::vector<Event> expected{{'D', 1, 1}, {'U', 1, 1}, {'U', 1, 1}};
    EXPECT_EQ(events, expected);
}

TEST_F(SysTrayTest, CallbacksDuringAHandlerAreDroppedNotQueued) {
    tray->SetParentForm(&form);
    onDown = [this] {
        tray->HandleCallback(0x202, false, 0);
        tray->HandleCallback(0x204, false, 0);
    };
    tray->HandleCallback(0x201, false, 0);
    onDown = nullptr;
    tray->HandleCallback(0x205, false, 0);
    const std::vector<Event> expected{{'D', 1, 0}, {'U', 2, 0}};
    EXPECT_EQ(events, expected);
}

TEST_F(SysTrayTest, BusyFlagIsClearedWhenAHandlerThrows) {
    onDown = [] { throw VbError{5, QStringLiteral("Invalid procedure call or argument")}; };
    EXPECT_THROW(tray->HandleCallback(0x201, false, 0), VbError);
    onDown = nullptr;
    tray->HandleCallback(0x204, false, 0);
    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(events[1], (Event{'D', 2, 0}));
}

TEST_F(SysTrayTest, TwipsAndPixelsDecodeToTheSameMessage) {
    const double twipsPerPixel = 1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInchX();
    tray->HandleCallback(0x204, false, 0);
    tray->HandleCallback(0x204 * twipsPerPixel, true, 0);
    tray->HandleCallback(0x204 * twipsPerPixel + 1, true, 0);  // between two messages: none
    tray->HandleCallback(0x204 + 0.5, false, 0);
    const std::vector<Event> expected{{'D', 2, 0}, {'D', 2, 0}};
    EXPECT_EQ(events, expected);
}

TEST_F(SysTrayTest, AnyCallbackBringsTheParentFormToTheFront) {
    QWidget other;
    form.show();
    other.show();
    other.activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &other);
    tray->SetParentForm(&form);
    tray->HandleCallback(0x200, false, 0);  // a pointer move: no event, still to the front
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), &form);
    EXPECT_TRUE(events.empty());
}

TEST_F(SysTrayTest, RestoreWindowShowsAHiddenMinimizedFormNormalAndNotTopmost) {
    ReadyToAdd();
    tray->NotifyAdd();
    form.hide();
    ASSERT_TRUE(form.isMinimized());
    tray->RestoreWindow(false);
    QApplication::processEvents();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.isMinimized());
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(QApplication::activeWindow(), &form);

    tray->RestoreWindow(true);
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(form.isVisible());
}

TEST_F(SysTrayTest, AlwaysOnTopKeepsPlaceSizeAndVisibility) {
    tray->SetParentForm(&form);
    form.show();
    QApplication::processEvents();
    const QRect before = form.geometry();
    // The same native window throughout: its flags change, it is not made anew.
    const QWindow *native = form.windowHandle();
    const WId id = form.winId();
    tray->SetAlwaysOnTop(true);
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(native->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.geometry(), before);
    tray->SetAlwaysOnTop(false);
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(native->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.geometry(), before);
    EXPECT_EQ(form.windowHandle(), native);
    EXPECT_EQ(form.winId(), id);

    form.hide();
    tray->SetAlwaysOnTop(true);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));
}

TEST_F(SysTrayTest, WindowOperationsWithoutParentFormDoNothing) {
    tray->RestoreWindow(true);
    tray->SetAlwaysOnTop(true);
    tray->HandleCallback(0x201, false, 0);
    EXPECT_EQ(events.size(), 1U);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(SysTrayTest, ParentFormDestroyedFirstIsForgotten) {
    auto doomed = std::make_unique<QWidget>();
    tray->SetParentForm(doomed.get());
    doomed.reset();
    tray->RestoreWindow(false);
    EXPECT_THROW(tray->NotifyAdd(), VbError);
}
