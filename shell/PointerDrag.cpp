#include "shell/PointerDrag.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>

void PointerDrag::Start(QWidget *window, Qt::MouseButton button) {
    if (window == nullptr || !QGuiApplication::mouseButtons().testFlag(button)) return;
    new PointerDrag(window, button);
}

PointerDrag::PointerDrag(QWidget *window, Qt::MouseButton button)
    : QObject(window), window_(window), button_(button), grab_(QCursor::pos() - window->pos()) {
    // The press's widget holds the implicit grab and so gets the moves; the
    // application sees them all, whichever widget that is.
    QCoreApplication::instance()->installEventFilter(this);
}

bool PointerDrag::eventFilter(QObject *, QEvent *event) {
    if (event->type() != QEvent::MouseMove && event->type() != QEvent::MouseButtonRelease)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (window_.isNull() || (event->type() == QEvent::MouseButtonRelease &&
                             mouse->button() == button_)) {
        deleteLater();
        QCoreApplication::instance()->removeEventFilter(this);
        return false;
    }
    if (event->type() == QEvent::MouseMove && mouse->buttons().testFlag(button_))
        window_->move(mouse->globalPosition().toPoint() - grab_);
    return false;
}
