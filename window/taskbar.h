#pragma once

// Keeps a top-level window off the taskbar. Call after the native window
// exists and before it is first shown; it stays off on every later show.

class QWidget;

void HideFromTaskbar(QWidget &window);
// Whether the window asks not to be on the taskbar (X11: _NET_WM_STATE has
// _NET_WM_STATE_SKIP_TASKBAR). Answers false where it cannot tell.
bool IsHiddenFromTaskbar(QWidget &window);
