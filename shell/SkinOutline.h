#pragma once

#include <QStringList>

// The main window's outline as point texts "x,y", clockwise (y down) from the
// left side of the lower lobe, one pixel per step. Each point lies one pixel
// up and left of the window pixel it stands for; ShapeWindow adds the pixel.
// 617 entries, ten of which repeat the entry before them.
//
// The table and the skin picture are made together by resources/make_skin.py.
const QStringList &SkinOutlinePoints();
