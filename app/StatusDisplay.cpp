// The painted status text on the skin: port name, own address, TCP port.
#include <QPainter>

#include "app/frmVaskorLinkPC.h"

namespace {
constexpr int kComTextLength = 7;
}

void frmVaskorLinkPC::DrawTextInRect(int left, int top, int right, int bottom, QImage &target,
                                     const QString &text) {
    QPainter painter(&target);
    QFont font = this->font();
    font.setPointSize(fontPointSize_);
    painter.setFont(font);
    painter.setPen(foreColor_);
    // Right and bottom edges are exclusive, as in a RECT.
    const QRect rect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    painter.setClipRect(rect);
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text);
}

void frmVaskorLinkPC::DrawStatus() {
    const QString comText = COMport.left(kComTextLength);
    const QString portText = QStringLiteral("Port ") + QString::number(TCPport);
    image_ = skin_;                                                        // 1
    fontPointSize_ = 10;                                                   // 2
    foreColor_ = Qt::black;
    DrawTextInRect(35, 110, 92, 134, image_, comText);
    foreColor_ = Qt::white;                                                // 3
    DrawTextInRect(36, 111, 93, 135, image_, comText);
    fontPointSize_ = 8;                                                    // 4
    foreColor_ = Qt::black;
    DrawTextInRect(15, 150, 115, 174, image_, LocalIP);
    foreColor_ = Qt::white;                                                // 5
    DrawTextInRect(16, 151, 116, 175, image_, LocalIP);
    fontPointSize_ = 8;                                                    // 6
    foreColor_ = Qt::black;
    DrawTextInRect(15, 165, 115, 189, image_, portText);
    foreColor_ = Qt::white;                                                // 7
    DrawTextInRect(16, 166, 116, 190, image_, portText);
    repaint();                                                             // 8
}
