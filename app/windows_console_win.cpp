#include "windows_console_win.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <string>

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
    if (!handle || handle == INVALID_HANDLE_VALUE) {
        // Nowhere to write to: no handle was given, and the console could not be opened.
        const DWORD error = attached ? GetLastError() : 0;
        return text.empty() ? 0 : error ? error : ERROR_INVALID_HANDLE;
    }
    DWORD mode = 0;
    const bool console = GetConsoleMode(handle, &mode);
    std::string bytes;
    if (!console && !text.empty()) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                             nullptr, nullptr);
        bytes.resize(size_t(std::max(size, 0)));
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), size, nullptr,
                            nullptr);
    }
    const size_t size = console ? text.size() : bytes.size();
    DWORD error = 0;
    // In pieces: older consoles refuse a single write of more than 64 KiB. The reason is
    // taken at the call that failed, since later calls overwrite it. A write that takes
    // nothing (Wine's, to a pipe whose reader has gone) is tried once more, and that one
    // fails with the reason.
    for (size_t at = 0, idle = 0; !error && at < size;) {
        DWORD written = 0;
        const DWORD piece = DWORD(std::min<size_t>(size - at, 8192));
        const bool done = console
                              ? WriteConsoleW(handle, text.data() + at, piece, &written, nullptr)
                              : WriteFile(handle, bytes.data() + at, piece, &written, nullptr);
        if (!done) {
            const DWORD last = GetLastError();
            error = last ? last : ERROR_WRITE_FAULT;
        } else if ((idle = written ? 0 : idle + 1) > 1) {
            error = ERROR_WRITE_FAULT;
        }
        at += written;
    }
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
