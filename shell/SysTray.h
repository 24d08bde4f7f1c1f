#pragma once

#include <QByteArray>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class TrayNotifier;

// The tray icon control. It owns one notification-area icon (added by
// NotifyAdd, changed by the Icon and ToolTip setters, removed by NotifyRemove
// and by the destructor), turns clicks on it into MouseDown and MouseUp, and
// restores or raises its parent form.
//
// The notification record is kept for the life of the control and sent with
// every request: NotifyAdd fills it, SetIcon rewrites only hIcon, SetToolTip
// only szTip, NotifyRemove sends it unchanged. Results of the requests are
// ignored. A tooltip is cut to the 63 characters (in the locale's encoding,
// whole characters) that fit the record's 64-byte field before its NUL.
class SysTray : public QObject {
    Q_OBJECT
public:
    static constexpr int kRecordSize = 88;

    SysTray(TrayNotifier &notifier, QObject *parent = nullptr);
    ~SysTray() override;  // calls NotifyRemove()

    // The control's identity in the notification record: nonzero, different
    // for every control of the process. (No native window is needed here: the
    // notifier delivers the callbacks.)
    quintptr hWnd() const;

    // Shows the parent form minimized and adds the icon.
    // Throws VbError{91, "Parent Form Property not Set"} without a parent form
    // (nothing else happens), and VbError{91, "Object variable or With block
    // variable not set"} without an icon, after the form has been shown
    // minimized; no icon is added then.
    void NotifyAdd();
    // Shows the parent form in the normal state, in front, with the focus,
    // then SetAlwaysOnTop(AlwaysOnTop). Nothing happens without a parent form.
    void RestoreWindow(bool AlwaysOnTop);
    // Puts the parent form above other windows or not, keeping its place, size
    // and visibility. Nothing happens without a parent form.
    void SetAlwaysOnTop(bool State);
    void NotifyRemove();
    void SetParentForm(QWidget *form);

    QIcon Icon() const;
    // Throws VbError 91 (as NotifyAdd) for a null icon, after storing it;
    // nothing is sent and IconChange is not raised then.
    void SetIcon(const QIcon &icon);
    QString ToolTip() const;
    void SetToolTip(const QString &text);   // default "SysTray ToolTip"
    QByteArray NotificationRecord() const;  // the 88 bytes

    // The callback entry: a mouse message arriving as the x coordinate, in
    // pixels or twips. Callbacks that arrive while an event raised from an
    // earlier one is still being handled are dropped whole.
    void HandleCallback(double x, bool measuredInTwips, short shift);

    // The icon's handle in the record: nonzero for an icon with a picture,
    // stable while the icon is not changed.
    static quint32 IconHandle(const QIcon &icon);

signals:
    void MouseDown(short &Button, short &Shift);
    void MouseUp(short &Button, short &Shift);
    void ToolTipChange(const QString &NewToolTip);
    void IconChange(const QIcon &NewIcon);

private:
    void Send(quint32 message);
    void WriteField(int offset, quint32 value);
    void WriteToolTip();
    void SetForegroundWindow();

    TrayNotifier &notifier_;
    QPointer<QWidget> parentForm_;
    QIcon icon_;
    QString toolTip_ = QStringLiteral("SysTray ToolTip");
    QByteArray record_;
    quint32 handle_;
    bool busy_ = false;
};
