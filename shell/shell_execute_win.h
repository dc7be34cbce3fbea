#pragma once

// Kept free of Qt so it can be compiled on its own, also by the cross compiler in the tests.
// Wide strings, so targets and folders outside the ANSI code page pass intact.

#include <string>

// True when the shell accepted the request; the shell shows no message box of its own.
bool ShellExecuteOpen(void *owner, const wchar_t *target, const wchar_t *directory);

// Starts the program file `program` (a full path), with no arguments, in `directory`, both
// taken as written: nothing is searched for and no %NAME% is expanded (Wine's shell expands
// them in both, so a folder named "%USERNAME%" would run another file). A program file goes
// straight to CreateProcessW; any other kind (a batch file) goes to the shell, unless a % in
// its path or folder would be read as a variable there, which is refused with
// kRefusedPercent; a path of MAX_PATH characters or more, which Windows starts no program
// by, is refused with kRefusedLong. 0 when it was started, else the system's error code.
unsigned long StartProgram(const std::wstring &program, const std::wstring &directory);
constexpr unsigned long kRefusedPercent = 0x20000001; // bit 29: error codes of our own
constexpr unsigned long kRefusedLong = 0x20000002;
constexpr size_t kProgramPathLimit = 260; // MAX_PATH

// The program Windows registers for `name` under App Paths (Office registers Excel there),
// looked up as "<name>.exe" in the current user's registry, then the machine's, each in
// its 64-bit view and then its 32-bit one: the path the value names (REG_EXPAND_SZ
// expanded; of a quoted path with arguments after it, the quoted part), of any length.
// Empty when none is registered.
std::wstring RegisteredAppPath(const std::wstring &name);

// The App Paths keys RegisteredAppPath looks at, for messages.
extern const wchar_t *const kAppPathsKeys;

// Where a bare program name ("Excel") is looked for. The shell would look in the
// folder we were started from first, which may be any Downloads folder; this never
// does: `folder` (the program's), then App Paths, then the absolute folders on PATH,
// each with the extensions PATHEXT lists. Only a file counts, never a folder, and a
// registered path only when it is a full one ("Excel.exe" or "C:Excel.exe" would be
// looked for in the current folder).
struct ProgramSearch {
    enum class Unused { None, Missing, Relative };
    std::wstring found;      // the program file, empty when none
    std::wstring registered; // an App Paths entry that was not used, and why
    Unused why = Unused::None;
};
ProgramSearch FindProgram(const std::wstring &name, const std::wstring &folder);
