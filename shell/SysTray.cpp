#include "shell/SysTray.h"

#include <QGuiApplication>
#include <QScopeGuard>
#include <QScreen>
#include <QtEndian>

#include <algorithm>
#include <atomic>

#include "platform/TrayNotifier.h"
#include "platform/WindowLayer.h"
#include "shell/VbError.h"

namespace {

using R = TrayRecord;
constexpr int kTipSize = R::kTipSize;
static_assert(SysTray::kRecordSize == R::kSize);

constexpr quint32 kIconId = 1;
constexpr quint32 kFlags = R::kFlagMessage | R::kFlagIcon | R::kFlagTip;
constexpr quint32 kCallbackMessage = 0x200;

VbError NoObject() {
    return {91, QStringLiteral("Object variable or With block variable not set")};
}

// Twips per pixel across, from the screen's logical resolution (15 at 96 dpi).
float TwipsPerPixelX() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen != nullptr ? screen->logicalDotsPerInchX() : 96.0;
    return static_cast<float>(1440.0 / dpi);
}

// The tooltip as it fits the field: at most 63 bytes, cut between characters.
QByteArray TipBytes(const QString &text) {
    // Every character takes at least one byte, so no more than 63 can fit.
    qsizetype length = std::min<qsizetype>(text.size(), kTipSize - 1);
    for (;;) {
        if (length > 0 && text.at(length - 1).isHighSurrogate()) --length;
        QByteArray bytes = text.left(length).toLocal8Bit();
        if (bytes.size() < kTipSize) return bytes;
        --length;
    }
}

std::atomic<quint32> nextHandle{1};

}  // namespace

SysTray::SysTray(TrayNotifier &notifier, QObject *parent)
    : QObject(parent), notifier_(notifier), record_(kRecordSize, '\0'), handle_(nextHandle++) {
    connect(&notifier_, &TrayNotifier::MouseMessage, this,
            [this](quint32 message, short shift) { HandleCallback(message, false, shift); });
}

SysTray::~SysTray() {
    NotifyRemove();
}

quintptr SysTray::hWnd() const {
    return handle_;
}

quint32 SysTray::IconHandle(const QIcon &icon) {
    if (icon.isNull()) return 0;
    // cacheKey() is the icon's serial number above a change count; folding
    // both keeps the handle unique per icon and new after every change.
    const quint64 key = static_cast<quint64>(icon.cacheKey());
    const auto handle = static_cast<quint32>(key ^ (key >> 32));
    return handle != 0 ? handle : 1;
}

void SysTray::NotifyAdd() {
    if (parentForm_.isNull()) throw VbError{91, QStringLiteral("Parent Form Property not Set")};
    // Minimized, and shown only if it already was: mapping a window that was
    // never shown in the minimized state makes X remember it as iconic, and
    // a later restore can then be read back as minimized again (and the main
    // window hides itself whenever it is minimized).
    parentForm_->setWindowState(parentForm_->windowState() | Qt::WindowMinimized);
    parentForm_->update();
    if (icon_.isNull()) throw NoObject();
    WriteField(R::kSizeOffset, kRecordSize);
    WriteField(R::kWindowOffset, handle_);
    WriteField(R::kIdOffset, kIconId);
    WriteField(R::kFlagsOffset, kFlags);
    WriteField(R::kCallbackOffset, kCallbackMessage);
    WriteField(R::kIconOffset, IconHandle(icon_));
    WriteToolTip();
    Send(TrayNotifier::Add);
}

void SysTray::RestoreWindow(bool AlwaysOnTop) {
    if (parentForm_.isNull()) return;
    parentForm_->setWindowState(
        parentForm_->windowState() &
        ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    // Raising and activating a hidden window has no effect here, so the form
    // is shown first.
    parentForm_->show();
    SetForegroundWindow();
    parentForm_->setFocus();
    SetAlwaysOnTop(AlwaysOnTop);
}

void SysTray::SetAlwaysOnTop(bool State) {
    if (parentForm_.isNull()) return;
    SetKeptAbove(*parentForm_, State);
}

void SysTray::NotifyRemove() {
    Send(TrayNotifier::Delete);
}

void SysTray::SetParentForm(QWidget *form) {
    parentForm_ = form;
}

QIcon SysTray::Icon() const {
    return icon_;
}

void SysTray::SetIcon(const QIcon &icon) {
    icon_ = icon;
    if (icon_.isNull()) throw NoObject();
    WriteField(R::kIconOffset, IconHandle(icon_));
    Send(TrayNotifier::Modify);
    emit IconChange(icon_);
}

QString SysTray::ToolTip() const {
    return toolTip_;
}

void SysTray::SetToolTip(const QString &text) {
    toolTip_ = text;
    WriteToolTip();
    Send(TrayNotifier::Modify);
    emit ToolTipChange(toolTip_);
}

QByteArray SysTray::NotificationRecord() const {
    return record_;
}

void SysTray::HandleCallback(double x, bool measuredInTwips, short shift) {
    const float message =
        measuredInTwips ? static_cast<float>(x) / TwipsPerPixelX() : static_cast<float>(x);
    if (busy_) return;
    SetForegroundWindow();
    busy_ = true;
    // Cleared however the handler leaves, so that one error does not mute
    // the icon for good; the handler may also have destroyed the control.
    const QPointer<SysTray> alive(this);
    const auto release = qScopeGuard([&] {
        if (alive) busy_ = false;
    });

    short button = 0;
    short keys = shift;
    if (message == 0x201) {
        button = 1;
        emit MouseDown(button, keys);
    } else if (message == 0x202) {
        button = 1;
        emit MouseUp(button, keys);
    } else if (message == 0x204) {
        button = 2;
        emit MouseDown(button, keys);
    } else if (message == 0x205) {
        button = 2;
        emit MouseUp(button, keys);
    } else if (message == 0x207) {
        button = 4;
        emit MouseDown(button, keys);
    } else if (message == 0x208) {
        button = 4;
        emit MouseUp(button, keys);
    }
}

void SysTray::Send(quint32 message) {
    notifier_.NotifyIcon(message, record_, icon_);
}

void SysTray::WriteField(int offset, quint32 value) {
    qToLittleEndian(value, record_.data() + offset);
}

void SysTray::WriteToolTip() {
    QByteArray field = TipBytes(toolTip_);
    field.append('\0');
    field.append(kTipSize - field.size(), ' ');
    record_.replace(R::kTipOffset, kTipSize, field);
}

void SysTray::SetForegroundWindow() {
    if (parentForm_.isNull()) return;
    parentForm_->raise();
    parentForm_->activateWindow();
}
