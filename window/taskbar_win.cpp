#include "taskbar_win.h"

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
    const LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    SetWindowLongPtrW(window, GWL_EXSTYLE, exStyle & ~LONG_PTR(WS_EX_APPWINDOW));
    SetWindowLongPtrW(window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
}

bool IsHiddenFromTaskbarWin(void *hwnd)
{
    const HWND window = static_cast<HWND>(hwnd);
    return window && GetWindow(window, GW_OWNER) != nullptr &&
           !(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
}
