#pragma once

// The console of a Windows GUI program, which has none of its own. Needs nothing
// from Qt, so that Linux builds can cross-compile it as a check.

#include <string>
#include <string_view>
#include <vector>

// Attaches to the console of the program that started this one (cmd, PowerShell),
// if there is one; true when attached.
bool AttachStarterConsole();

enum class StandardStream { Output, Error };

// Writes `text` to standard output or error. A console gets UTF-16, so its code
// page, which later programs in that window rely on, stays as it was; a file or a
// pipe gets UTF-8. Without a handle of its own, a program attached to its
// starter's console writes there. 0 when written (or nothing was to be written),
// else the Windows error code.
unsigned long WriteStandard(StandardStream which, std::wstring_view text, bool attached);

// The arguments after the program name, decoded from the wide command line, so
// that no character is lost to the ANSI code page.
std::vector<std::wstring> ProgramArgumentsWin();
