#include "platform/TrayNotifier.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QtEndian>

namespace {

quint32 Field(const QByteArray &record, qsizetype offset) {
    return qFromLittleEndian<quint32>(record.constData() + offset);
}

short ShiftState() {
    const Qt::KeyboardModifiers keys = QGuiApplication::queryKeyboardModifiers();
    short shift = 0;
    if (keys & Qt::ShiftModifier) shift |= 1;
    if (keys & Qt::ControlModifier) shift |= 2;
    if (keys & Qt::AltModifier) shift |= 4;
    return shift;
}

}  // namespace

std::optional<TrayRecord> TrayRecord::Parse(const QByteArray &record) {
    if (record.size() < kSize) return std::nullopt;
    TrayRecord fields;
    fields.size = Field(record, kSizeOffset);
    fields.window = Field(record, kWindowOffset);
    fields.id = Field(record, kIdOffset);
    fields.flags = Field(record, kFlagsOffset);
    fields.callbackMessage = Field(record, kCallbackOffset);
    fields.iconHandle = Field(record, kIconOffset);
    QByteArray tip = record.mid(kTipOffset, kTipSize);
    const qsizetype nul = tip.indexOf('\0');
    if (nul >= 0) tip.truncate(nul);
    fields.toolTip = QString::fromLocal8Bit(tip);
    fields.toolTip.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    fields.toolTip.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return fields;
}

QList<quint32> MouseMessagesForActivation(int reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return {0x201, 0x202};
        case QSystemTrayIcon::DoubleClick:
            return {0x203, 0x202};
        case QSystemTrayIcon::Context:
            return {0x204, 0x205};
        case QSystemTrayIcon::MiddleClick:
            return {0x207, 0x208};
        default:
            return {};
    }
}

QtTrayNotifier::QtTrayNotifier(QObject *parent) : TrayNotifier(parent) {}

QtTrayNotifier::~QtTrayNotifier() = default;

bool QtTrayNotifier::IsAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool QtTrayNotifier::NotifyIcon(quint32 message, const QByteArray &record, const QIcon &icon) {
    const std::optional<TrayRecord> fields = TrayRecord::Parse(record);
    if (!fields || fields->size < TrayRecord::kSize) return false;
    const auto key = std::make_pair(fields->window, fields->id);
    const auto found = icons_.find(key);
    switch (message) {
        case Add: {
            if (found != icons_.end()) return false;
            auto tray = std::make_unique<QSystemTrayIcon>(this);
            Apply(*tray, *fields, icon);
            if (fields->flags & TrayRecord::kFlagMessage) {
                connect(tray.get(), &QSystemTrayIcon::activated, this,
                        [this](QSystemTrayIcon::ActivationReason reason) {
                            const short shift = ShiftState();
                            for (quint32 number : MouseMessagesForActivation(reason))
                                emit MouseMessage(number, shift);
                        });
            }
            tray->show();
            icons_.emplace(key, std::move(tray));
            return true;
        }
        case Modify:
            if (found == icons_.end()) return false;
            Apply(*found->second, *fields, icon);
            return true;
        case Delete:
            if (found == icons_.end()) return false;
            // A click on this very icon may be what led here: its activated()
            // is still on the stack, so it must outlive this call.
            found->second->hide();
            found->second.release()->deleteLater();
            icons_.erase(found);
            return true;
        default:
            return false;
    }
}

void QtTrayNotifier::Apply(QSystemTrayIcon &tray, const TrayRecord &fields, const QIcon &icon) {
    if (fields.flags & TrayRecord::kFlagIcon) tray.setIcon(fields.iconHandle != 0 ? icon : QIcon());
    if (fields.flags & TrayRecord::kFlagTip) tray.setToolTip(fields.toolTip);
}
