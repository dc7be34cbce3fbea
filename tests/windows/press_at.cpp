// Drives the installed program under Wine for tools/windows/wine-story.py.
//
//   press_at.exe TITLE X Y
// Waits (up to 30 s) for a visible top-level window with exactly the given
// title, brings it to the front, moves the pointer to the point (client
// coordinates, in pixels) and clicks there, again every 2 s (a busy machine may
// not have the window ready for the first click) until the window is gone.
// Exit status 0 when the window went, 1 otherwise.
//
//   press_at.exe --wait TITLE: waits (up to 30 s) for it; exit status 0 when it is there.
//
//   press_at.exe --taskbar TITLE
// In Wine's shell desktop (explorer /desktop=shell): whether the taskbar shows a
// button for the window TITLE, which is then closed as with its close box. The
// taskbar keeps a button for every top-level window of other programs, with the
// window as the button's control ID, and shows the ones it counts as programs.
// A plain window of our own must get a shown button first, or the answer would
// mean nothing. Exit status 0: TITLE's button is hidden; 1: it is shown;
// 3: no taskbar, or it showed no button for our plain window; 4: it has none
// for TITLE.

#include <windows.h>

#include <cwchar>

namespace
{

HWND waitForWindow(const wchar_t *title)
{
    for (int tries = 0; tries < 300; ++tries) {
        const HWND window = FindWindowW(nullptr, title);
        if (window && IsWindowVisible(window))
            return window;
        Sleep(100);
    }
    return nullptr;
}

int press(HWND window, const wchar_t *x, const wchar_t *y)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        SetForegroundWindow(window);
        POINT point{static_cast<LONG>(std::wcstol(x, nullptr, 10)),
                    static_cast<LONG>(std::wcstol(y, nullptr, 10))};
        ClientToScreen(window, &point);
        SetCursorPos(point.x, point.y);
        Sleep(200);
        INPUT press[2] = {};
        press[0].type = press[1].type = INPUT_MOUSE;
        press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(2, press, sizeof(INPUT));
        for (int wait = 0; wait < 20; ++wait) {
            Sleep(100);
            if (!IsWindow(window) || !IsWindowVisible(window))
                return 0;
        }
    }
    return 1;
}

struct Button {
    HWND window;
    HWND button = nullptr;
};

BOOL CALLBACK findButton(HWND child, LPARAM data)
{
    auto *wanted = reinterpret_cast<Button *>(data);
    if (GetWindowLongPtrW(child, GWLP_ID) != reinterpret_cast<LONG_PTR>(wanted->window))
        return TRUE;
    wanted->button = child;
    return FALSE;
}

// 1 shown, 0 hidden, -1 no button at all.
int buttonShown(HWND tray, HWND window)
{
    Button wanted{window};
    EnumChildWindows(tray, findButton, reinterpret_cast<LPARAM>(&wanted));
    RECT area{};
    if (!wanted.button)
        return -1;
    return IsWindowVisible(wanted.button) && GetWindowRect(wanted.button, &area) &&
           area.right > area.left;
}

int taskbar(const wchar_t *title)
{
    const HWND window = waitForWindow(title);
    const HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (!window || !tray)
        return 3;
    const HWND plain = CreateWindowExW(0, L"STATIC", L"plain", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                       nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(plain, SW_SHOWNOACTIVATE);
    // The taskbar looks again whenever a top-level window comes or goes.
    int plainShown = 0;
    for (int tries = 0; tries < 100 && plainShown != 1; ++tries) {
        DestroyWindow(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr));
        Sleep(100);
        plainShown = buttonShown(tray, plain);
    }
    const int shown = buttonShown(tray, window);
    PostMessageW(window, WM_CLOSE, 0, 0);
    return plainShown != 1 ? 3 : shown < 0 ? 4 : shown;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc == 3 && std::wcscmp(argv[1], L"--taskbar") == 0)
        return taskbar(argv[2]);
    if (argc == 3 && std::wcscmp(argv[1], L"--wait") == 0)
        return waitForWindow(argv[2]) ? 0 : 1;
    if (argc != 4)
        return 2;
    const HWND window = waitForWindow(argv[1]);
    return window ? press(window, argv[2], argv[3]) : 1;
}
