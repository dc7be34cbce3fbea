// Presses a point of a window as a user would, for the scripts that drive the
// installed program under Wine: waits (up to 30 s) for a visible top-level
// window with exactly the given title, brings it to the front, moves the
// pointer to the point (client coordinates, in pixels) and clicks there, again
// every 2 s (a busy machine may not have the window ready for the first click)
// until the window is gone.
//   press_at.exe TITLE X Y        exit status 0 when the window went, 1 otherwise

#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 4)
        return 2;
    HWND window = nullptr;
    for (int tries = 0; tries < 300 && !window; ++tries) {
        window = FindWindowW(nullptr, argv[1]);
        if (!window || !IsWindowVisible(window)) {
            window = nullptr;
            Sleep(100);
        }
    }
    if (!window)
        return 1;
    for (int attempt = 0; attempt < 10; ++attempt) {
        SetForegroundWindow(window);
        POINT point{static_cast<LONG>(std::wcstol(argv[2], nullptr, 10)),
                    static_cast<LONG>(std::wcstol(argv[3], nullptr, 10))};
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
