// Presses a point of a window as a user would, for the scripts that drive the
// installed program under Wine: waits (up to 30 s) for a visible top-level
// window with exactly the given title, brings it to the front, moves the
// pointer to the point (client coordinates, in pixels) and clicks there.
//   press_at.exe TITLE X Y        exit status 0 when it clicked, 1 when no window came

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
    Sleep(1000); // until the start-up's first paint is done
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
    return SendInput(2, press, sizeof(INPUT)) == 2 ? 0 : 1;
}
