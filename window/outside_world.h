#pragma once

// What the window asks of the world outside it: telling the user something,
// handing Excel or the web address to the shell, and the program's folder. The
// real world shows message boxes and uses the platform's shell; tests hand the
// window one of their own, overriding what they watch.

#include "open_with_shell.h"

#include <QMessageBox>
#include <QString>

// A message box that shows its text as written: a value quoted from the store
// or a path must never be taken for markup (a stored "<h1>" would show as a
// heading and could hide the file and the advice).
void ShowPlainMessage(QWidget *window, QMessageBox::Icon icon, const QString &text);

class OutsideWorld
{
public:
    virtual ~OutsideWorld() = default;

    virtual void showMessage(QWidget *window, const QString &text);
    virtual ShellOutcome openWithShell(WId owner, const QString &target, const QString &folder,
                                       const LateFailure &onLateFailure);
    // Where the cursor file is looked for and where Excel and the link are opened.
    virtual QString programFolder() const;

    static OutsideWorld &real();
};
