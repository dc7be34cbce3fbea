#include "shell_execute_win.h"

// windows.h must come first: shellapi.h relies on its types.
#include <windows.h>

#include <shellapi.h>

void ShellExecuteOpen(void *owner, const wchar_t *target, const wchar_t *directory)
{
    // Default verb, no parameters; the result is deliberately ignored.
    (void)ShellExecuteW(static_cast<HWND>(owner), nullptr, target, nullptr, directory,
                        SW_SHOWNORMAL);
}
