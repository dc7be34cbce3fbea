#pragma once

// Windows side of native_window.h, free of Qt. A window owned by a hidden window
// gets no taskbar button; with it the frame becomes a fixed dialog's, without an
// icon in the title bar.

void HideFromTaskbarWin(void *hwnd);
// Whether `msg` (an MSG) tells `hwnd` that it is about to be shown.
bool IsShowMessageWin(void *hwnd, const void *msg);
// Showing a window makes Qt reset its owner to the transient parent (none), which
// would give it a button again. Called with each message before Qt sees it; hides
// `hwnd` again when it is about to be shown.
void HideFromTaskbarOnShowWin(void *hwnd, const void *msg);
// Qt measured the frame before it became a dialog's and centred the window with
// that one, a few pixels off. Centres `hwnd`, frame and all, on the primary screen
// with the frame Windows now gives it, around a client area of `width` x `height`
// device pixels.
void CentreFrameWin(void *hwnd, int width, int height);
