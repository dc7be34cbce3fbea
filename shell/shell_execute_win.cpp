#include "shell_execute_win.h"

// windows.h must come first: shellapi.h relies on its types.
#include <windows.h>

#include <shellapi.h>

#include <string_view>
#include <vector>

const wchar_t *const kAppPathsKeys =
    L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths and the same under HKLM "
    L"(64- and 32-bit views)";

namespace
{

// Paths of MAX_PATH characters and more reach the file system only in the \\?\ form,
// which takes a path as it is: it is made full first.
std::wstring longForm(const std::wstring &path)
{
    if (path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    const std::wstring full = WindowsForm(path);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The text of a key's value (the default one for an empty name), of any length; false when
// it is no string. The data need not end in a NUL, and may change size between two calls.
bool valueText(HKEY key, const wchar_t *name, std::wstring &text, DWORD &type)
{
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    for (int attempt = 0; status == ERROR_SUCCESS && attempt < 8; ++attempt) {
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        DWORD bytes = size;
        status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data.data()),
                                  &bytes);
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

std::wstring textOf(HKEY key, const wchar_t *name)
{
    std::wstring value;
    DWORD type = 0;
    if (!valueText(key, name, value, type))
        return {};
    return type == REG_EXPAND_SZ ? expanded(value) : value;
}

// What an App Paths key registers: the program's path and the folders its PATH starts with.
// Some installers write a quoted path with arguments after it ("C:\Office\EXCEL.EXE" /e): as
// the shell does, the quoted part is the file.
struct Registration {
    std::wstring program, path;
};

Registration registration(HKEY hive, REGSAM view, const std::wstring &subkey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, subkey.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return {};
    Registration found{textOf(key, nullptr), textOf(key, L"Path")};
    RegCloseKey(key);
    std::wstring &value = found.program;
    if (!value.empty() && value.front() == L'"') {
        const size_t close = value.find(L'"', 1);
        value = value.substr(1, close == std::wstring::npos ? close : close - 1);
    }
    return found;
}

std::wstring variable(const wchar_t *name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    std::wstring value(size, L'\0');
    const DWORD n = size ? GetEnvironmentVariableW(name, value.data(), size) : 0;
    value.resize(n < size ? n : 0);
    return value;
}

// ".exe" of "C:\Office\EXCEL.EXE"; empty when the name has no extension.
std::wstring extensionOf(const std::wstring &path)
{
    const size_t dot = path.find_last_of(L".\\/");
    std::wstring extension =
        dot != std::wstring::npos && path[dot] == L'.' ? path.substr(dot) : std::wstring();
    for (wchar_t &c : extension)
        c = c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c;
    return extension;
}

bool isProgram(const std::wstring &extension)
{
    return extension == L".exe" || extension == L".com";
}

bool isBatch(const std::wstring &extension)
{
    return extension == L".bat" || extension == L".cmd";
}

// "\\server\share\..." and "\\?\UNC\server\share\...", not "\\?\C:\...".
bool onShare(const std::wstring &path)
{
    if (path.rfind(L"\\\\", 0) != 0)
        return false;
    const bool device = path.size() > 3 && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\';
    return !device || _wcsnicmp(path.c_str() + 4, L"UNC\\", 4) == 0;
}

bool tooLongFolder(const std::wstring &folder)
{
    const bool slashed = !folder.empty() && folder.back() == L'\\';
    return folder.size() - (slashed ? 1 : 0) > kFolderLimit;
}

// `folders` before PATH for as long as it lives: the started program inherits it, as one the
// shell finds under App Paths gets that entry's Path.
class PathBefore
{
public:
    explicit PathBefore(const std::wstring &folders) : m_set(!folders.empty())
    {
        if (m_set)
            SetEnvironmentVariableW(L"PATH", (folders + L';' + m_old).c_str());
    }
    ~PathBefore()
    {
        if (m_set)
            SetEnvironmentVariableW(L"PATH", m_old.empty() ? nullptr : m_old.c_str());
    }
    PathBefore(const PathBefore &) = delete;
    PathBefore &operator=(const PathBefore &) = delete;

private:
    bool m_set;
    std::wstring m_old = variable(L"PATH");
};

} // namespace

std::wstring WindowsForm(const std::wstring &path)
{
    if (path.empty() || path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD n = size ? GetFullPathNameW(path.c_str(), size, full.data(), nullptr) : 0;
    if (n == 0 || n >= size)
        return path;
    full.resize(n);
    return full;
}

unsigned long ShellExecuteOpen(void *owner, const std::wstring &target,
                               const std::wstring &directory)
{
    if (tooLongFolder(directory))
        return kRefusedLong | kInFolder;
    // Default verb, no parameters. No box from the shell: the caller tells the user itself.
    // Done when it returns, so that the environment it inherits is the one set now.
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.hwnd = static_cast<HWND>(owner);
    info.lpFile = target.c_str();
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info))
        return 0;
    const DWORD error = GetLastError();
    return error ? error : ERROR_GEN_FAILURE;
}

unsigned long StartProgram(const std::wstring &given, const std::wstring &folder,
                           const std::wstring &path)
{
    const std::wstring program = WindowsForm(given), directory = WindowsForm(folder);
    // CreateProcessW takes no longer path, not even in the \\?\ form (Wine starts nothing
    // by a short name from such a folder either).
    if (program.size() >= kProgramPathLimit)
        return kRefusedLong;
    if (tooLongFolder(directory))
        return kRefusedLong | kInFolder;
    const std::wstring extension = extensionOf(program);
    if (isBatch(extension)) {
        // cmd expands %NAME% even within quotes, and Wine's runs no batch file by a share's
        // path (Windows' takes no share as its working folder).
        for (const unsigned long where : {0ul, kInFolder}) {
            const std::wstring &checked = where ? directory : program;
            if (checked.find(L'%') != std::wstring::npos)
                return kRefusedPercent | where;
            if (onShare(checked))
                return kRefusedShare | where;
        }
        const PathBefore environment(path);
        return ShellExecuteOpen(nullptr, program, directory);
    }
    if (!isProgram(extension))
        return kRefusedKind;
    // The name named twice: as the file to run, and quoted as the program's first argument.
    std::wstring commandLine = L'"' + program + L'"';
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    const PathBefore environment(path);
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process))
        return GetLastError();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

namespace
{

bool isFile(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(longForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
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
    // Only the kinds StartProgram starts: a shortcut or a script found first would hide them.
    std::vector<std::wstring> extensions = split(variable(L"PATHEXT"));
    std::erase_if(extensions, [](const std::wstring &extension) {
        return !isProgram(extensionOf(extension)) && !isBatch(extensionOf(extension));
    });
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
    // Names with an extension of their own are not App Paths names.
    const std::wstring subkey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name + L".exe";
    const struct {
        HKEY hive;
        REGSAM view;
        const wchar_t *prefix, *suffix;
    } keys[] = {{HKEY_CURRENT_USER, KEY_WOW64_64KEY, L"HKCU\\", L""},
                {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"HKLM\\", L""},
                {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"HKLM\\", L" (32-bit view)"}};
    for (const auto &key : keys) {
        if (name.find(L'.') != std::wstring::npos)
            break;
        const Registration entry = registration(key.hive, key.view, subkey);
        // A relative value would be looked for in whatever folder we were started from.
        const bool absolute = isAbsolute(entry.program);
        const std::wstring program = absolute ? WindowsForm(entry.program) : entry.program;
        if (absolute && isFile(program)) {
            search.found = program;
            search.path = entry.path;
            return search;
        }
        if (!entry.program.empty() && search.why == ProgramSearch::Unused::None) {
            search.registered = entry.program;
            search.registeredIn = key.prefix + subkey + key.suffix;
            search.why =
                absolute ? ProgramSearch::Unused::Missing : ProgramSearch::Unused::Relative;
        }
    }
    for (const std::wstring &entry : split(variable(L"PATH"))) {
        if (isAbsolute(entry) && !(search.found = in(entry)).empty())
            return search;
    }
    return search;
}
