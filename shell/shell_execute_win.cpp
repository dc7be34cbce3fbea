#include "shell_execute_win.h"

// windows.h must come first: shellapi.h relies on its types.
#include <windows.h>

#include <shellapi.h>

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
