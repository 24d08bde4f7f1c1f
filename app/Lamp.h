#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

// A round status lamp: 10 x 10 pixels, solid fill, grey border.
// Colours are 0x00BBGGRR, as the lamp colours are given.
//
// FillColor() follows every change at once; the screen follows at most
// every kMinRepaintMs, showing the colour of that moment. A request and its
// answer can flip the red lamps thousands of times a second, and painting
// each flip (the skin under the lamp included) would cost more than
// relaying the bytes; no eye sees a change shorter than a frame.
class Lamp : public QWidget {
    Q_OBJECT
public:
    static constexpr quint32 kDarkGreen = 0x008000;
    static constexpr quint32 kLitGreen = 0x00FF00;
    static constexpr quint32 kDarkRed = 0x000080;
    static constexpr quint32 kLitRed = 0x0000FF;
    static constexpr quint32 kBorder = 0x808080;

    Lamp(quint32 fillColor, QWidget *parent);
    quint32 FillColor() const { return fill_; }
    void SetFillColor(quint32 color);

    // 0x00BBGGRR to a QColor.
    static QColor ToQColor(quint32 bgr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int kMinRepaintMs = 20;
    quint32 fill_;
    QElapsedTimer sinceRepaint_;
    QTimer repaintLater_;
};
