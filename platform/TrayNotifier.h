#pragma once

#include <QByteArray>
#include <QIcon>
#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <utility>

class QSystemTrayIcon;

// The notification-area icon, driven by the 88-byte notification record of
// the tray control:
//   offset 0 cbSize, 4 hWnd, 8 uID, 12 uFlags, 16 uCallbackMessage, 20 hIcon
//   (each 32 bits, little-endian), 24 szTip (64 bytes, the tooltip in the
//   locale's 8-bit encoding, ended by a NUL).
// An icon is known by (hWnd, uID). uFlags says which fields count: 1 the
// callback message, 2 the icon, 4 the tooltip. The record carries only a handle
// for the icon, so the picture itself comes alongside.
//
// Clicks on an icon come back as MouseMessage with the mouse-message number
// that happened on it (0x201 left button down, 0x202 up, 0x203 double-click;
// 0x204..0x206 right; 0x207..0x209 middle) and the modifier keys (1 Shift,
// 2 Ctrl, 4 Alt). Everything runs on the UI thread; nothing blocks.
class TrayNotifier : public QObject {
    Q_OBJECT
public:
    enum Message : quint32 { Add = 0, Modify = 1, Delete = 2 };

    using QObject::QObject;

    // Add, change or remove the icon the record names. Returns false for a
    // record shorter than 88 bytes, an Add of an icon that is already shown,
    // or a Modify or Delete of one that is not.
    virtual bool NotifyIcon(quint32 message, const QByteArray &record, const QIcon &icon) = 0;

    // Whether the desktop has a notification area to show icons in.
    virtual bool IsAvailable() const = 0;

signals:
    void MouseMessage(quint32 message, short shift);
};

// The fields of a notification record that the tray reads.
struct TrayRecord {
    // The record's layout: little-endian 32-bit fields, then the tooltip.
    static constexpr int kSize = 88;
    static constexpr int kSizeOffset = 0;
    static constexpr int kWindowOffset = 4;
    static constexpr int kIdOffset = 8;
    static constexpr int kFlagsOffset = 12;
    static constexpr int kCallbackOffset = 16;
    static constexpr int kIconOffset = 20;
    static constexpr int kTipOffset = 24;
    static constexpr int kTipSize = 64;
    static constexpr quint32 kFlagMessage = 1;
    static constexpr quint32 kFlagIcon = 2;
    static constexpr quint32 kFlagTip = 4;

    quint32 size = 0;
    quint32 window = 0;
    quint32 id = 0;
    quint32 flags = 0;
    quint32 callbackMessage = 0;
    quint32 iconHandle = 0;
    // szTip up to its NUL, with CR LF and lone CRs turned into line breaks.
    QString toolTip;

    static std::optional<TrayRecord> Parse(const QByteArray &record);
};

// The mouse messages a tray activation stands for, in order: a left click is
// button down and up, a double-click is what Windows sends after the first
// click's down and up (double-click, button up).
QList<quint32> MouseMessagesForActivation(int reason);

// Over QSystemTrayIcon, one per (hWnd, uID).
class QtTrayNotifier final : public TrayNotifier {
    Q_OBJECT
public:
    explicit QtTrayNotifier(QObject *parent = nullptr);
    ~QtTrayNotifier() override;

    bool NotifyIcon(quint32 message, const QByteArray &record, const QIcon &icon) override;
    bool IsAvailable() const override;

private:
    void Apply(QSystemTrayIcon &tray, const TrayRecord &fields, const QIcon &icon);

    std::map<std::pair<quint32, quint32>, std::unique_ptr<QSystemTrayIcon>> icons_;
};
