// The installer's own checks, which the MSI (velmora.wxs) runs before it changes
// anything. A check that stops the installer says why as an error message: Windows
// shows it in a box when the installer has a window, and every installer, Wine's
// included, writes it into the /l*v log. (A launch condition's message reaches
// neither under Wine's quiet msiexec.) Built by tools/windows/package-windows.sh.

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>

namespace
{

std::wstring property(MSIHANDLE install, const wchar_t *name)
{
    std::wstring value(64, L'\0');
    for (int tries = 0; tries < 2; ++tries) {
        DWORD size = static_cast<DWORD>(value.size());
        const UINT result = MsiGetPropertyW(install, name, value.data(), &size);
        value.resize(size); // the length, or the length it needs
        if (result == ERROR_SUCCESS)
            return value;
        if (result != ERROR_MORE_DATA)
            break;
        value.resize(size + 1);
    }
    return {};
}

UINT refuse(MSIHANDLE install, const std::wstring &reason)
{
    // The reason goes in as a field, never as the template: a [ in it stays a [.
    const MSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0, L"[1]");
    MsiRecordSetStringW(record, 1, reason.c_str());
    MsiProcessMessage(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), record);
    MsiCloseHandle(record);
    return ERROR_INSTALL_FAILURE;
}

} // namespace

// Stops with the reason that a condition of the sequence has put in VELMORA_REFUSAL.
extern "C" __declspec(dllexport) UINT __stdcall Refuse(MSIHANDLE install)
{
    return refuse(install, property(install, L"VELMORA_REFUSAL"));
}

// Uninstalling while Velmora runs would leave its files in use behind: Windows would
// remove them at the next start, Wine's installer never does. So it is refused until
// Velmora has ended. A running program's file cannot be opened for writing.
extern "C" __declspec(dllexport) UINT __stdcall RefuseWhileRunning(MSIHANDLE install)
{
    const std::wstring program = property(install, L"INSTALLDIR") + L"velmora.exe";
    const HANDLE file = CreateFileW(program.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    else if (GetLastError() == ERROR_SHARING_VIOLATION)
        return refuse(install, L"Velmora is running, and " + program +
                                   L" is in use. Close Velmora, then uninstall it again.");
    return ERROR_SUCCESS; // not running (a missing or read-only file is no reason to stop)
}
