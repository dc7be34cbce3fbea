#pragma once

#include <QString>
#include <QtGui/qwindowdefs.h>

#include <functional>

// What became of handing a target to the shell, so that a caller can tell the user
// when nothing could be started and where it was looked for.
struct ShellOutcome {
    bool started = false;
    QString program{};  // what was to be run: the target itself, or the opener for it
    QString lookedIn{}; // the places searched for it, for the user: a path to a line
    QString found{};    // set when a program was found but could not be run
    // What became of `found`, when known: "it ended with exit status 4"; without `found`, why
    // nothing was looked for.
    QString reason{};
    // `found` is what is registered for it (App Paths), in the key `registeredIn`, not used:
    // no such file, or a relative path that would name a file in whatever folder we were
    // started from.
    enum class Registered { Used, Missing, Relative } registered = Registered::Used;
    QString registeredIn{};

    // Why nothing was started, for the user, in whole sentences: what was not found and
    // where it was looked for, or what was found and what became of it.
    QString explanation() const;
};

// Told when a program that was started fails later, with what to tell the user.
using LateFailure = std::function<void(const ShellOutcome &)>;

// Hands target (a URL, a file or a program name) to the platform shell, detached, with
// folder as working directory; owner is the window any shell dialog belongs to (Windows
// only). Shows nothing of its own and never waits for what it started: an opener that
// fails after it was started (xdg-open without a browser) is told to onLateFailure.
ShellOutcome OpenWithShell(WId owner, const QString &target, const QString &folder,
                           const LateFailure &onLateFailure = {});
