#pragma once

// Windows side of HideFromTaskbar, free of Qt: a window owned by a hidden
// window gets no taskbar button.

void HideFromTaskbarWin(void *hwnd);
bool IsHiddenFromTaskbarWin(void *hwnd);
