#include "support/FakeTrayNotifier.h"

bool FakeTrayNotifier::NotifyIcon(quint32 message, const QByteArray &record, const QIcon &icon) {
    calls.push_back({message, record, icon});
    return result;
}

bool FakeTrayNotifier::IconShown() const {
    bool shown = false;
    for (const Call &call : calls) {
        if (call.message == Add) shown = true;
        if (call.message == Delete) shown = false;
    }
    return shown;
}

QString FakeTrayNotifier::LastToolTip() const {
    if (calls.empty()) return {};
    const auto fields = TrayRecord::Parse(calls.back().record);
    return fields ? fields->toolTip : QString();
}
