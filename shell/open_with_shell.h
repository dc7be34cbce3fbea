#pragma once

#include <QString>
#include <QtGui/qwindowdefs.h>

// Hands target (a URL, a file or a program name) to the platform shell, detached, with the
// program folder as working directory. The outcome is neither examined nor reported: this
// always returns normally. owner is the window any shell dialog belongs to (Windows only).
void OpenWithShell(WId owner, const QString &target);
