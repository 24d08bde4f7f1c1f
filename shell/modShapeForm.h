#pragma once

#include <QPolygon>
#include <QString>
#include <QStringList>

class MessageBoxes;
class QRegion;
class QWidget;

// Applies a region to a window: only the region is drawn and takes the mouse.
// Returns false when the window did not take it; the window then keeps the
// shape it had.
class WindowRegionSetter {
public:
    virtual ~WindowRegionSetter() = default;
    virtual bool SetRegion(QWidget *form, const QRegion &region) = 0;
};

// QWidget::setMask. Fails only for a form whose mask afterwards is not the region.
class MaskRegionSetter final : public WindowRegionSetter {
public:
    bool SetRegion(QWidget *form, const QRegion &region) override;
};

// The vertices of a point list: entry "x,y" gives (x + 1, y + 1) in window
// coordinates; an entry whose vertex equals the one before is skipped.
// Throws VbError on a list it cannot read:
//   9 "Subscript out of range"  an entry without a comma
//   13 "Type mismatch"          a piece that is not a decimal integer
//   6 "Overflow"                a value whose vertex leaves the 32-bit range, or
//                               a list of more than 32 768 entries (the vertex
//                               count is a 16-bit number)
// Text after a second comma is ignored.
QPolygon OutlineVertices(const QStringList &points);

// Cuts the form to the even-odd polygon region of the point list. Nothing
// happens when form is null or not a top-level window. Failures are shown in
// a message box (OK only, no icon, the given title) and leave the form's
// shape as it was:
//   "Failed to create polygon region"   the polygon encloses no pixel
//   "Failed to set window region"       the setter refused the region
//   "Error: " number CR LF description  the list could not be read (above)
void ShapeWindow(QWidget *form, const QStringList &points, MessageBoxes &boxes,
                 const QString &title);
void ShapeWindow(QWidget *form, const QStringList &points, MessageBoxes &boxes,
                 const QString &title, WindowRegionSetter &setter);

// ShapeWindow with the main window's skin outline (SkinOutlinePoints()).
void ApplySkinShape(QWidget *form, MessageBoxes &boxes, const QString &title);

// Moves the form with the mouse until the button that is down now (left or
// middle) comes up: by the window manager where it can, else by following
// the pointer. Returns at once; does nothing for a form without a native
// window, or without one of those buttons down.
void DragWindow(QWidget *form);
