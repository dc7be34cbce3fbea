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

// The default value of an App Paths key, environment references expanded and any
// quotes around it dropped.
std::wstring defaultValue(HKEY hive, REGSAM view, const std::wstring &subkey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, subkey.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return {};
    wchar_t raw[MAX_PATH * 2] = {};
    DWORD type = 0;
    DWORD size = sizeof(raw) - sizeof(wchar_t); // room for a terminator the value may lack
    const LONG status =
        RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(raw), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    std::wstring path = raw;
    if (type == REG_EXPAND_SZ) {
        wchar_t expanded[MAX_PATH * 2];
        const DWORD n = ExpandEnvironmentStringsW(raw, expanded, MAX_PATH * 2);
        path = n > 0 && n <= MAX_PATH * 2 ? std::wstring(expanded) : std::wstring();
    }
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        path = path.substr(1, path.size() - 2);
    return path;
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
            const std::wstring path = defaultValue(hive, view, subkey);
            if (!path.empty())
                return path;
        }
    }
    return {};
}

namespace
{

bool isFile(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
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
        if (isFile(registered)) {
            search.found = registered;
            return search;
        }
        search.registeredMissing = registered;
    }
    for (const std::wstring &entry : split(variable(L"PATH"))) {
        if (isAbsolute(entry) && !(search.found = in(entry)).empty())
            return search;
    }
    return search;
}
