#include "shell_execute_win.h"

// windows.h must come first: shellapi.h relies on its types.
#include <windows.h>

#include <shellapi.h>

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
