#pragma once

// Keeps a top-level window off the taskbar. Call after the native window
// exists and before it is first shown; it stays off on every later show. On
// X11 the window is also centred again, frame and all, once a window manager
// has framed it (Windows knows the frame before the first show).

class QWidget;

void HideFromTaskbar(QWidget &window);
