#pragma once

// Whether a person can answer the program's windows. Decided once, before the
// QApplication is made, from the environment:
//  - QT_QPA_PLATFORM "offscreen" or "minimal": unattended;
//  - no DISPLAY and no WAYLAND_DISPLAY (and no platform chosen): unattended,
//    and the offscreen platform is chosen so the program can start at all;
//  - otherwise a desktop. Under Wayland with XWayland present and no
//    platform chosen, the xcb platform is chosen: window positions, topmost
//    and shaped windows need X11.
enum class DisplayMode { Desktop, Unattended };

DisplayMode ChooseDisplayMode();
