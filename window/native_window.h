#pragma once

// What the options window asks of the platform's window system, beyond Qt: no
// taskbar button, no icon in the title bar, and a centre that counts the frame. All
// are called after the native window exists and before it is first shown.

class QWidget;

// Keeps a top-level window off the taskbar, at this show and every later one.
void HideFromTaskbar(QWidget &window);

// No icon in the title bar (Windows: HideFromTaskbar takes it off). On X11 a window
// manager draws a stock icon for a window without one (openbox even writes it into
// _NET_WM_ICON), so the window carries a wholly transparent icon instead.
void ShowNoIcon(QWidget &window);

// Centres the window once more, frame and all, as soon as its frame is known: on X11
// when a window manager has framed it, on Windows at the first show (the frame it
// has then is a dialog's, which HideFromTaskbar gave it after Qt had measured).
void CentreOnceFramed(QWidget &window);
