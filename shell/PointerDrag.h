#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>

// Moves a window with the pointer until the button that started the drag
// comes up: for window managers that do not move windows on request, and a
// bare X server with none at all. Watches the application's mouse events
// and deletes itself at the release, or when the window goes away.
class PointerDrag final : public QObject {
    Q_OBJECT
public:
    // Nothing happens unless `button` is down now.
    static void Start(QWidget *window, Qt::MouseButton button);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    PointerDrag(QWidget *window, Qt::MouseButton button);

    QPointer<QWidget> window_;
    Qt::MouseButton button_;
    QPoint grab_;  // the pointer's place on the window's frame
};
