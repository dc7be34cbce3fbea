#include "windows_console_win.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>

bool AttachStarterConsole()
{
    return AttachConsole(ATTACH_PARENT_PROCESS);
}

unsigned long WriteStandard(StandardStream which, std::wstring_view text, bool attached)
{
    HANDLE handle =
        GetStdHandle(which == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    HANDLE opened = INVALID_HANDLE_VALUE;
    if ((!handle || handle == INVALID_HANDLE_VALUE) && attached)
        handle = opened =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (!handle || handle == INVALID_HANDLE_VALUE)
        return text.empty() ? 0 : ERROR_INVALID_HANDLE;
    bool done = true;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        // In pieces: older consoles refuse a single write of more than 64 KiB.
        for (size_t at = 0; done && at < text.size();) {
            DWORD written = 0;
            const DWORD piece = DWORD(std::min<size_t>(text.size() - at, 8192));
            done = WriteConsoleW(handle, text.data() + at, piece, &written, nullptr) && written;
            at += written;
        }
    } else if (!text.empty()) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                             nullptr, nullptr);
        std::string bytes(size_t(std::max(size, 0)), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), size, nullptr,
                            nullptr);
        DWORD written = 0;
        done = WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
               written == DWORD(bytes.size());
    }
    const DWORD last = GetLastError();
    const unsigned long error = done ? 0 : last ? last : ERROR_WRITE_FAULT;
    if (opened != INVALID_HANDLE_VALUE)
        CloseHandle(opened);
    return error;
}

std::vector<std::wstring> ProgramArgumentsWin()
{
    std::vector<std::wstring> arguments;
    int count = 0;
    if (wchar_t **list = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            arguments.emplace_back(list[i]);
        LocalFree(list);
    }
    return arguments;
}
