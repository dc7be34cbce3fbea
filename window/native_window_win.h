#pragma once

// Windows side of HideFromTaskbar, free of Qt: a window owned by a hidden
// window gets no taskbar button; with it the frame becomes a fixed dialog's,
// without an icon in the title bar.

void HideFromTaskbarWin(void *hwnd);
// Showing a window makes Qt reset its owner to the transient parent (none), which
// would give it a button again. Called with each message before Qt sees it; hides
// `hwnd` again when `msg` (an MSG) tells it that it is about to be shown, and then
// answers true.
bool HideFromTaskbarOnShowWin(void *hwnd, const void *msg);
// Qt measured the frame before it became a dialog's and centred the window with
// that one, a few pixels off. Centres `hwnd`, frame and all, on the primary screen
// with the frame Windows now gives it, around a client area of `width` x `height`
// device pixels.
void CentreFrameWin(void *hwnd, int width, int height);
