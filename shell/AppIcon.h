#pragma once

#include <QIcon>
#include <QString>

// The shell's pictures live in resources/resources.qrc, compiled into the
// static library. A static library's resource object is linked only when
// something refers to it: InitShellResources() does, and registers the
// resources once (later calls do nothing). The functions below call it
// themselves; call it directly before opening a ":/" path of your own.
void InitShellResources();

// The program icon: its three images, 16 x 16, 32 x 32 and 48 x 48.
QIcon AppIcon();

// Resource paths of the skin picture (131 x 231, 8-bit), the About banner
// (470 x 60) and the pointing-hand cursor (32 x 32, hot spot (12, 1)).
QString SkinResourcePath();
QString BannerResourcePath();
QString HandCursorResourcePath();
