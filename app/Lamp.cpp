#include "app/Lamp.h"

#include <QPainter>

Lamp::Lamp(quint32 fillColor, QWidget *parent) : QWidget(parent), fill_(fillColor) {
    setFixedSize(10, 10);
    setAttribute(Qt::WA_TranslucentBackground);
    // Clicks on a lamp belong to the skin: menu and drag work there too.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    repaintLater_.setSingleShot(true);
    connect(&repaintLater_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void Lamp::SetFillColor(quint32 color) {
    if (fill_ == color) return;
    fill_ = color;
    if (repaintLater_.isActive()) return;
    const qint64 since = sinceRepaint_.isValid() ? sinceRepaint_.elapsed() : kMinRepaintMs;
    if (since >= kMinRepaintMs)
        update();
    else
        repaintLater_.start(static_cast<int>(kMinRepaintMs - since));
}

QColor Lamp::ToQColor(quint32 bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

void Lamp::paintEvent(QPaintEvent *) {
    sinceRepaint_.start();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ToQColor(kBorder), 1));
    painter.setBrush(ToQColor(fill_));
    painter.drawEllipse(QRectF(0.5, 0.5, 9, 9));
}
