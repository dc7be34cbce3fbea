#include "shell_execute_win.h"

// windows.h must come first: shellapi.h relies on its types.
#include <windows.h>

#include <shellapi.h>

#include <string_view>
#include <vector>

const wchar_t *const kAppPathsKeys =
    L"HKCU and HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths (64- and 32-bit "
    L"views)";

bool ShellExecuteOpen(void *owner, const wchar_t *target, const wchar_t *directory)
{
    // Default verb, no parameters. No box from the shell: the caller tells the user itself.
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = static_cast<HWND>(owner);
    info.lpFile = target;
    info.lpDirectory = directory;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

namespace
{

// Paths of MAX_PATH characters and more reach the file system only in the \\?\ form,
// which takes a path as it is: it is made full first.
std::wstring longForm(const std::wstring &path)
{
    if (path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD n = size ? GetFullPathNameW(path.c_str(), size, full.data(), nullptr) : 0;
    if (n == 0 || n >= size)
        return path;
    full.resize(n);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The text of a key's default value, of any length; false when it is no string. The data
// need not end in a NUL, and may change size between two calls.
bool defaultText(HKEY key, std::wstring &text, DWORD &type)
{
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size);
    for (int attempt = 0; status == ERROR_SUCCESS && attempt < 8; ++attempt) {
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        DWORD bytes = size;
        status = RegQueryValueExW(key, nullptr, nullptr, &type,
                                  reinterpret_cast<BYTE *>(data.data()), &bytes);
        if (status == ERROR_SUCCESS) {
            text = data.c_str(); // up to the first NUL
            return type == REG_SZ || type == REG_EXPAND_SZ;
        }
        if (status == ERROR_MORE_DATA)
            status = ERROR_SUCCESS, size = bytes;
    }
    return false;
}

std::wstring expanded(const std::wstring &text)
{
    DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    for (int attempt = 0; size > 0 && attempt < 8; ++attempt) {
        std::wstring result(size, L'\0');
        const DWORD n = ExpandEnvironmentStringsW(text.c_str(), result.data(), size);
        if (n > 0 && n <= size) {
            result.resize(n - 1);
            return result;
        }
        size = n;
    }
    return {};
}

// The path an App Paths key names. Some installers write a quoted path with arguments after
// it ("C:\Office\EXCEL.EXE" /e): as the shell does, the quoted part is the file.
std::wstring registeredPath(HKEY hive, REGSAM view, const std::wstring &subkey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, subkey.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return {};
    std::wstring value;
    DWORD type = 0;
    const bool text = defaultText(key, value, type);
    RegCloseKey(key);
    if (!text)
        return {};
    if (type == REG_EXPAND_SZ)
        value = expanded(value);
    if (!value.empty() && value.front() == L'"') {
        const size_t close = value.find(L'"', 1);
        value = value.substr(1, close == std::wstring::npos ? close : close - 1);
    }
    return value;
}

} // namespace

std::wstring RegisteredAppPath(const std::wstring &name)
{
    // Names with a folder or an extension of their own are not App Paths names.
    if (name.empty() || name.find_first_of(L"\\/:.") != std::wstring::npos)
        return {};
    const std::wstring subkey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name + L".exe";
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            const std::wstring path = registeredPath(hive, view, subkey);
            if (!path.empty())
                return path;
        }
    }
    return {};
}

unsigned long StartProgram(const std::wstring &program, const std::wstring &directory)
{
    const size_t dot = program.find_last_of(L".\\/");
    std::wstring extension =
        dot != std::wstring::npos && program[dot] == L'.' ? program.substr(dot) : std::wstring();
    for (wchar_t &c : extension)
        c = c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c;
    // CreateProcessW takes no longer path, not even in the \\?\ form (Wine starts nothing
    // by a short name from such a folder either).
    if (program.size() >= kProgramPathLimit)
        return kRefusedLong;
    if (extension == L".exe" || extension == L".com") {
        // The name named twice: as the file to run, and quoted as the program's first argument.
        std::wstring commandLine = L'"' + program + L'"';
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, directory.empty() ? nullptr : directory.c_str(), &startup,
                            &process))
            return GetLastError();
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return 0;
    }
    // A batch file runs in cmd, which expands %NAME% even within quotes.
    if (program.find(L'%') != std::wstring::npos || directory.find(L'%') != std::wstring::npos)
        return kRefusedPercent;
    if (ShellExecuteOpen(nullptr, program.c_str(), directory.c_str()))
        return 0;
    const DWORD error = GetLastError();
    return error ? error : ERROR_GEN_FAILURE;
}

namespace
{

bool isFile(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(longForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring variable(const wchar_t *name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    std::wstring value(size, L'\0');
    const DWORD n = size ? GetEnvironmentVariableW(name, value.data(), size) : 0;
    value.resize(n < size ? n : 0);
    return value;
}

std::wstring_view trimmed(std::wstring_view entry)
{
    while (!entry.empty() && (entry.front() == L' ' || entry.front() == L'"'))
        entry.remove_prefix(1);
    while (!entry.empty() && (entry.back() == L' ' || entry.back() == L'"'))
        entry.remove_suffix(1);
    return entry;
}

std::vector<std::wstring> split(const std::wstring &list)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(L';', start);
        if (end == std::wstring::npos)
            end = list.size();
        const std::wstring_view part = trimmed(std::wstring_view(list).substr(start, end - start));
        if (!part.empty())
            parts.emplace_back(part);
        start = end + 1;
    }
    return parts;
}

// "C:\..." or "\\server\...": a PATH entry such as "." or "bin" would mean
// whatever folder we happen to be started from.
bool isAbsolute(const std::wstring &path)
{
    const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    return drive || path.rfind(L"\\\\", 0) == 0;
}

std::wstring within(const std::wstring &folder, const std::wstring &name)
{
    if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/')
        return folder + name;
    return folder + L'\\' + name;
}

} // namespace

ProgramSearch FindProgram(const std::wstring &name, const std::wstring &folder)
{
    ProgramSearch search;
    if (name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos)
        return search;
    std::vector<std::wstring> extensions = split(variable(L"PATHEXT"));
    if (extensions.empty())
        extensions = {L".COM", L".EXE", L".BAT", L".CMD"};
    const auto in = [&](const std::wstring &place) {
        for (const std::wstring &extension : extensions) {
            const std::wstring candidate = within(place, name + extension);
            if (isFile(candidate))
                return candidate;
        }
        return std::wstring();
    };

    if (!folder.empty() && !(search.found = in(folder)).empty())
        return search;
    const std::wstring registered = RegisteredAppPath(name);
    if (!registered.empty()) {
        // A relative value would be looked for in whatever folder we were started from.
        if (isAbsolute(registered) && isFile(registered)) {
            search.found = registered;
            return search;
        }
        search.registered = registered;
        search.why = isAbsolute(registered) ? ProgramSearch::Unused::Missing
                                            : ProgramSearch::Unused::Relative;
    }
    for (const std::wstring &entry : split(variable(L"PATH"))) {
        if (isAbsolute(entry) && !(search.found = in(entry)).empty())
            return search;
    }
    return search;
}
