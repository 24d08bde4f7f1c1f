#include "platform/WindowLayer.h"

#include <QWidget>
#include <QWindow>

void SetKeptAbove(QWidget &window, bool above) {
    Qt::WindowFlags flags = window.windowFlags();
    if (flags.testFlag(Qt::WindowStaysOnTopHint) == above) return;
    flags.setFlag(Qt::WindowStaysOnTopHint, above);
    // QWidget::setWindowFlags would destroy the native window and map a new
    // one, which the window manager then places anew. The native window's
    // own flags change its state in place (on X11, _NET_WM_STATE_ABOVE asked
    // of the window manager); the widget is only told what they now are.
    window.overrideWindowFlags(flags);
    if (QWindow *native = window.windowHandle()) native->setFlags(flags);
}
