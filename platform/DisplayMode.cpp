#include "platform/DisplayMode.h"

#include <QByteArray>
#include <QtGlobal>

DisplayMode ChooseDisplayMode() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal"))
        return DisplayMode::Unattended;
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!platform.isEmpty()) return DisplayMode::Desktop;
    if (!x11 && !wayland) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return DisplayMode::Unattended;
    }
    if (wayland && x11) qputenv("QT_QPA_PLATFORM", "xcb");
    return DisplayMode::Desktop;
}
