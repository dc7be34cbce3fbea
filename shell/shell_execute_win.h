#pragma once

// Kept free of Qt so it can be compiled on its own, also by the cross compiler in the tests.
// Wide strings, so targets and folders outside the ANSI code page pass intact. True when the
// shell accepted the request; the shell shows no message box of its own.
bool ShellExecuteOpen(void *owner, const wchar_t *target, const wchar_t *directory);
