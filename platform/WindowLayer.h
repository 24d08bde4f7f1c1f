#pragma once

class QWidget;

// Puts a top-level window above other windows or takes it back, keeping its
// native window: same window id, place, size and visibility. The widget's own
// flags follow, so Qt::WindowStaysOnTopHint reads back as set.
void SetKeptAbove(QWidget &window, bool above);
