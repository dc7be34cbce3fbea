#pragma once

// Velmora without its window, for people who look after many machines: show
// what a user's store holds, or set options from a script with the rules a
// click applies and the save Ok makes. Never opens a window or starts Excel.

#include <QStringList>
#include <QTextStream>

class SettingsStore;

enum ExitStatus { Done = 0, StoreFailed = 1, UsageError = 2 };

// `arguments` without the program name; nothing is written unless the whole
// command line is sound.
int RunCommandLine(const QStringList &arguments, SettingsStore &store, QTextStream &out,
                   QTextStream &err);
