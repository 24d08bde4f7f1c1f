#pragma once

#include <QByteArray>
#include <QIcon>

#include <vector>

#include "platform/TrayNotifier.h"

// Records every request to the notification area and answers with `result`.
// Click() plays a mouse message as the shell would deliver it.
class FakeTrayNotifier final : public TrayNotifier {
    Q_OBJECT
public:
    struct Call {
        quint32 message;
        QByteArray record;
        QIcon icon;
    };

    std::vector<Call> calls;
    bool result = true;
    bool available = true;

    bool NotifyIcon(quint32 message, const QByteArray &record, const QIcon &icon) override;
    bool IsAvailable() const override { return available; }

    // An Add has been sent and no Delete after it.
    bool IconShown() const;
    // The tooltip of the last request, as the tray would show it.
    QString LastToolTip() const;
    void Click(quint32 message, short shift = 0) { emit MouseMessage(message, shift); }
};
