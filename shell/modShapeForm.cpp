#include "shell/modShapeForm.h"

#include <QGuiApplication>
#include <QRegion>
#include <QWidget>
#include <QWindow>

#include <limits>

#include "platform/MessageBoxes.h"
#include "shell/PointerDrag.h"
#include "shell/SkinOutline.h"
#include "shell/VbError.h"

namespace {

// The list's upper bound and the vertex count are 16-bit numbers.
constexpr qsizetype kMaxEntries = 32768;

int VertexCoordinate(const QString &piece) {
    bool ok = false;
    const qlonglong value = piece.toLongLong(&ok, 10);
    if (!ok) throw VbError{13, QStringLiteral("Type mismatch")};
    if (value < std::numeric_limits<int>::min() || value >= std::numeric_limits<int>::max())
        throw VbError{6, QStringLiteral("Overflow")};
    return static_cast<int>(value + 1);
}

}  // namespace

bool MaskRegionSetter::SetRegion(QWidget *form, const QRegion &region) {
    form->setMask(region);
    return form->mask() == region;
}

QPolygon OutlineVertices(const QStringList &points) {
    if (points.size() > kMaxEntries) throw VbError{6, QStringLiteral("Overflow")};
    QPolygon vertices;
    vertices.reserve(points.size());
    QPoint previous(-1, -1);
    for (const QString &entry : points) {
        const qsizetype comma = entry.indexOf(QLatin1Char(','));
        if (comma < 0) throw VbError{9, QStringLiteral("Subscript out of range")};
        qsizetype end = entry.indexOf(QLatin1Char(','), comma + 1);
        if (end < 0) end = entry.size();
        const QPoint vertex(VertexCoordinate(entry.left(comma)),
                            VertexCoordinate(entry.mid(comma + 1, end - comma - 1)));
        if (vertex == previous) continue;
        vertices << vertex;
        previous = vertex;
    }
    return vertices;
}

void ShapeWindow(QWidget *form, const QStringList &points, MessageBoxes &boxes,
                 const QString &title) {
    MaskRegionSetter setter;
    ShapeWindow(form, points, boxes, title, setter);
}

void ShapeWindow(QWidget *form, const QStringList &points, MessageBoxes &boxes,
                 const QString &title, WindowRegionSetter &setter) {
    if (form == nullptr || !form->isWindow() || form->winId() == 0) return;
    QPolygon vertices;
    try {
        vertices = OutlineVertices(points);
    } catch (const VbError &error) {
        boxes.Show(QStringLiteral("Error: ") + QString::number(error.number) +
                       QStringLiteral("\r\n") + error.description,
                   title, MessageIcon::None);
        return;
    }
    const QRegion region(vertices, Qt::OddEvenFill);
    if (region.isEmpty()) {
        boxes.Show(QStringLiteral("Failed to create polygon region"), title, MessageIcon::None);
        return;
    }
    if (!setter.SetRegion(form, region)) {
        boxes.Show(QStringLiteral("Failed to set window region"), title, MessageIcon::None);
    }
}

void ApplySkinShape(QWidget *form, MessageBoxes &boxes, const QString &title) {
    ShapeWindow(form, SkinOutlinePoints(), boxes, title);
}

void DragWindow(QWidget *form) {
    if (form == nullptr) return;
    QWindow *window = form->window()->windowHandle();
    if (window == nullptr) return;
    if (window->startSystemMove()) return;
    // The window manager cannot move it (or there is none): follow the
    // pointer ourselves while the button that pressed stays down.
    const Qt::MouseButtons down = QGuiApplication::mouseButtons();
    const Qt::MouseButton button = down.testFlag(Qt::LeftButton)     ? Qt::LeftButton
                                   : down.testFlag(Qt::MiddleButton) ? Qt::MiddleButton
                                                                     : Qt::NoButton;
    if (button != Qt::NoButton) PointerDrag::Start(form->window(), button);
}
