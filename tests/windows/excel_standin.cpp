// Stands in for Excel beside the programs under test: started by name through
// the shell, it records its working folder, its arguments, the twelve values
// it finds in the store (the add-in reads them at this moment) and its PATH, then
// appends its own path to its log. It does nothing unless a test asks for a record.

#include "option_table.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace
{

std::wstring variable(const wchar_t *name)
{
    wchar_t buffer[32767];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 32767);
    return n > 0 && n < 32767 ? std::wstring(buffer, n) : std::wstring();
}

std::wstring widen(const char *text)
{
    std::wstring result;
    for (; *text; ++text)
        result += wchar_t(static_cast<unsigned char>(*text));
    return result;
}

std::string narrow(const std::wstring &text)
{
    std::string result;
    for (wchar_t c : text)
        result += c < 128 ? char(c) : '?';
    return result;
}

} // namespace

int wmain(int argc, wchar_t **)
{
    const std::wstring record = variable(L"VELMORA_TEST_EXCEL_RECORD");
    if (record.empty())
        return 0;
    // The section key, below HKEY_CURRENT_USER.
    const std::wstring key = variable(L"VELMORA_TEST_EXCEL_KEY");

    std::string text;
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    text += narrow(folder) + "\n" + std::to_string(argc - 1) + "\n";
    for (const OptionInfo &option : kOptionTable) {
        wchar_t value[64];
        DWORD size = sizeof value;
        const LSTATUS status =
            RegGetValueW(HKEY_CURRENT_USER, key.c_str(), widen(option.key).c_str(), RRF_RT_REG_SZ,
                         nullptr, value, &size);
        text +=
            std::string(option.key) + "=" + (status == ERROR_SUCCESS ? narrow(value) : "-") + "\n";
    }
    text += "PATH=" + narrow(variable(L"PATH")) + "\n";

    const std::wstring temporary = record + L".tmp";
    if (FILE *file = _wfopen(temporary.c_str(), L"wb")) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        MoveFileExW(temporary.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    // Which file ran: one planted elsewhere under the same name must not.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (FILE *log = _wfopen((record + L".log").c_str(), L"ab")) {
        std::fputs((narrow(self) + "\n").c_str(), log);
        std::fclose(log);
    }
    return 0;
}
