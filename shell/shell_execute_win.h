#pragma once

// Kept free of Qt so it can be compiled on its own, also by the cross compiler in the tests.
// Wide strings, so targets and folders outside the ANSI code page pass intact.

#include <string>

// True when the shell accepted the request; the shell shows no message box of its own.
bool ShellExecuteOpen(void *owner, const wchar_t *target, const wchar_t *directory);

// The program Windows registers for `name` under App Paths (Office registers Excel there),
// looked up as "<name>.exe" in the current user's registry, then the machine's, each in
// its 64-bit view and then its 32-bit one; empty when none is registered.
std::wstring RegisteredAppPath(const std::wstring &name);

// The App Paths keys RegisteredAppPath looks at, for messages.
extern const wchar_t *const kAppPathsKeys;

// Where a bare program name ("Excel") is looked for. The shell would look in the
// folder we were started from first, which may be any Downloads folder; this never
// does: `folder` (the program's), then App Paths, then the absolute folders on PATH,
// each with the extensions PATHEXT lists. Only a file counts, never a folder.
struct ProgramSearch {
    std::wstring found;             // the program file, empty when none
    std::wstring registeredMissing; // an App Paths entry whose file is not there
};
ProgramSearch FindProgram(const std::wstring &name, const std::wstring &folder);
