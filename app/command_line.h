#pragma once

// Velmora without its window, for people who look after many machines: show
// what a user's store holds, or set options from a script with the rules a
// click applies and the save Ok makes. Never opens a window or starts Excel.

#include <QStringList>
#include <QTextStream>

class SettingsStore;

enum ExitStatus { Done = 0, StoreFailed = 1, UsageError = 2, SavedUnreported = 3 };

// A control character from the store (or a path) would act on the terminal, an
// escape sequence could even hide or rewrite what was printed: it is shown as
// \xNN instead (in JSON as \u00NN). So is a character that turns the direction
// of text (as \u202E), which would reorder what follows it. Line breaks of our
// own messages stay.
QString VisibleOnTerminal(const QString &text);

// Where our command begins in `arguments` (without the program name): at the
// first argument that begins with "--" or asks for help as people try first
// (-h, -help, -?, /?), or -1 when none does and the window opens. Anything
// before it is not ours: Qt's own options (-style fusion), which Qt takes for the
// window, and whatever a launcher passes (a file name, an empty string), which
// is ignored. From there on, anything we do not know is a usage
// error, so that a mistyped command never opens a window that waits for a person.
qsizetype CommandStart(const QStringList &arguments);

// `arguments` without the program name, from the command on; nothing is written unless the whole
// command line is sound. `saved`, if given, is set when the settings were written: an
// answer that then cannot be written is SavedUnreported, not a failure to save.
int RunCommandLine(const QStringList &arguments, SettingsStore &store, QTextStream &out,
                   QTextStream &err, bool *saved = nullptr);
