#pragma once

// Kept free of Qt so it can be compiled on its own, also by the cross compiler in the tests.
// Wide strings, so targets and folders outside the ANSI code page pass intact.

#include <string>

// Codes of our own (bit 29) for what is refused before the system is asked; with kInFolder
// the working folder is at fault, else the program's own path. Any other code is the system's.
constexpr unsigned long kRefusedPercent = 0x20000001; // cmd would read a % as a variable
constexpr unsigned long kRefusedLong = 0x20000002;    // longer than Windows starts a program by
constexpr unsigned long kRefusedShare = 0x20000003;   // a batch file, or its folder, on a share
constexpr unsigned long kRefusedKind = 0x20000004;    // neither a program nor a batch file
constexpr unsigned long kInFolder = 0x100;
constexpr size_t kProgramPathLimit = 260; // MAX_PATH, its NUL included
// A working folder gets a backslash added and must then fit MAX_PATH with its NUL: Windows
// starts no program in a longer one, and Wine overruns its buffer for one.
constexpr size_t kFolderLimit = kProgramPathLimit - 2;

// Opens `target` (an address or a file) with the shell's default verb, `directory` as working
// folder, and no message box of the shell's own. 0 when the shell accepted it, else a code.
unsigned long ShellExecuteOpen(void *owner, const std::wstring &target,
                               const std::wstring &directory);

// Starts the program file `program` (a full path), with no arguments, in `directory`, both
// as Windows reads them (trailing blanks and dots dropped) and taken as written beyond that:
// nothing is searched for and no %NAME% is expanded (Wine's shell expands them in both, so a
// folder named "%USERNAME%" would run another file). A program file (.exe, .com) goes
// straight to CreateProcessW; a batch file (.bat, .cmd) to the shell, unless cmd would read a
// % in its path or folder as a variable, or either lies on a share (Wine's cmd runs no batch
// file by a share's path); anything else (a shortcut, a document) is refused, since it would
// bring a program, arguments or a folder of its own. `path`, when given, goes before PATH
// in the started program's environment. 0 when it was started, else a code.
unsigned long StartProgram(const std::wstring &program, const std::wstring &directory,
                           const std::wstring &path = {});

// A path as Windows reads it before using it: trailing blanks and dots dropped, "." and ".."
// resolved, made full. A \\?\ path is taken as written, as Windows takes it.
std::wstring WindowsForm(const std::wstring &path);

// Where a bare program name ("Excel") is looked for. The shell would look in the
// folder we were started from first, which may be any Downloads folder; this never
// does: `folder` (the program's), then App Paths (the current user's entry, then the
// machine's in its 64-bit and its 32-bit view), then the absolute folders on PATH, each with
// the extensions PATHEXT lists that name a program or a batch file. Only a file counts,
// never a folder, and a registered path only when it is a full one ("Excel.exe" or
// "C:Excel.exe" would be looked for in the current folder) and names a file: an entry that
// does not is passed over for the next, as it registers nothing that could be run.
struct ProgramSearch {
    enum class Unused { None, Missing, Relative };
    std::wstring found;        // the program file, empty when none
    std::wstring path;         // the App Paths entry's Path value, when it was found there
    std::wstring registered;   // the first App Paths entry that was not used, and why
    std::wstring registeredIn; // its key
    Unused why = Unused::None;
};
ProgramSearch FindProgram(const std::wstring &name, const std::wstring &folder);

// The App Paths keys FindProgram looks at, for messages.
extern const wchar_t *const kAppPathsKeys;
