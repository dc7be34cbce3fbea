#include "native_window_win.h"

#include <windows.h>

namespace
{

HWND hiddenOwner()
{
    // One invisible owner for the life of the program.
    static const HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                              nullptr, GetModuleHandleW(nullptr), nullptr);
    return owner;
}

} // namespace

void HideFromTaskbarWin(void *hwnd)
{
    const HWND window = static_cast<HWND>(hwnd);
    const HWND owner = hiddenOwner();
    if (!window || !owner)
        return;
    // A fixed dialog frame shows no icon in its title bar: the modal-frame style
    // says so, and Qt's default icon is taken off again.
    const LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    SetWindowLongPtrW(window, GWL_EXSTYLE,
                      (exStyle & ~LONG_PTR(WS_EX_APPWINDOW)) | WS_EX_DLGMODALFRAME);
    SetWindowLongPtrW(window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    SendMessageW(window, WM_SETICON, ICON_SMALL, 0);
    SendMessageW(window, WM_SETICON, ICON_BIG, 0);
    // Qt gives the window class the program's icon, which Wine draws in a dialog's
    // title bar too; the program file keeps its icon for Explorer and the shortcut.
    SetClassLongPtrW(window, GCLP_HICONSM, 0);
    SetClassLongPtrW(window, GCLP_HICON, 0);
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool IsShowMessageWin(void *hwnd, const void *msg)
{
    // WM_SHOWWINDOW comes inside ShowWindow, after Qt has cleared the owner and
    // before the window is visible, which is when the taskbar takes its decision.
    const MSG *message = static_cast<const MSG *>(msg);
    return hwnd && message->hwnd == static_cast<HWND>(hwnd) && message->message == WM_SHOWWINDOW &&
           message->wParam;
}

void HideFromTaskbarOnShowWin(void *hwnd, const void *msg)
{
    if (IsShowMessageWin(hwnd, msg))
        HideFromTaskbarWin(hwnd);
}

void CentreFrameWin(void *hwnd, int width, int height)
{
    const HWND window = static_cast<HWND>(hwnd);
    RECT outer{0, 0, width, height};
    MONITORINFO primary{};
    primary.cbSize = sizeof primary;
    if (!AdjustWindowRectEx(&outer, DWORD(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                            DWORD(GetWindowLongPtrW(window, GWL_EXSTYLE))) ||
        !GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary))
        return;
    const RECT &screen = primary.rcMonitor;
    const int outerWidth = outer.right - outer.left, outerHeight = outer.bottom - outer.top;
    SetWindowPos(window, nullptr, screen.left + (screen.right - screen.left - outerWidth) / 2,
                 screen.top + (screen.bottom - screen.top - outerHeight) / 2, outerWidth,
                 outerHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}
