#include "open_with_shell.h"

#include "store_error.h"

#include <QCoreApplication>
#include <QDir>

#include <QRegularExpression>

#ifdef Q_OS_WIN
#include "shell_execute_win.h"
#else
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#endif

namespace
{

#ifdef Q_OS_WIN
constexpr unsigned long kRefused = 0x20000000; // the bit of StartProgram's codes of its own

// The system's words for an error, without the full stop of a sentence of their own.
QString systemText(unsigned long error)
{
    QString text = qt_error_string(int(error)).trimmed();
    while (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

// Why StartProgram or ShellExecuteOpen refused `program`, naming the path at fault.
QString refusal(unsigned long error, const QString &program, const QString &folder)
{
    const QString path = error & kInFolder ? QStringLiteral("Velmora's folder, %1,").arg(folder)
                                           : QStringLiteral("its path");
    const QString inFolder = error & kInFolder ? QStringLiteral("in") : QStringLiteral("by");
    switch (error & ~kInFolder) {
    case kRefusedPercent:
        return QStringLiteral("Windows would read the % in %1 as the start of a variable's name")
            .arg(path);
    case kRefusedLong:
        return QStringLiteral("%1 is %2 characters long, and Windows starts no program %3 a %4 "
                              "of more than %5")
            .arg(path)
            .arg((error & kInFolder ? folder : program).size())
            .arg(inFolder, error & kInFolder ? QStringLiteral("folder") : QStringLiteral("path"))
            .arg(error & kInFolder ? kFolderLimit : kProgramPathLimit - 1);
    case kRefusedShare:
        return QStringLiteral("%1 is on a network share, and Windows' cmd runs no batch file "
                              "from there")
            .arg(path);
    case kRefusedKind:
        return QStringLiteral("it is neither a program file (.exe, .com) nor a batch file "
                              "(.bat, .cmd); a shortcut or a document would bring a program, "
                              "arguments or a folder of its own");
    }
    return systemText(error);
}
#else

// "http:", "mailto:" and the like. A drive letter ("C:") also matches; on Unix handing that
// to xdg-open is harmless.
bool hasUrlScheme(const QString &target)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    return scheme.match(target).hasMatch();
}

// A program found through a relative PATH entry ("." or "bin") would be whatever lies
// in the folder we happen to be started from; only absolute entries are searched.
QStringList searchedPath()
{
    QStringList folders;
    for (const QString &entry : qEnvironmentVariable("PATH").split(QLatin1Char(':')))
        if (QDir::isAbsolutePath(entry))
            folders << entry;
    return folders;
}

// On one line, as a message box breaks it: between the folders, rarely inside one.
QString pathText()
{
    const QStringList folders = searchedPath();
    return folders.isEmpty() ? QStringLiteral("PATH, which names no absolute folder")
                             : QStringLiteral("the folders on PATH: ") + folders.join(u", ");
}

QString findOnPath(const QString &name)
{
    const QStringList folders = searchedPath();
    return folders.isEmpty() ? QString() : QStandardPaths::findExecutable(name, folders);
}

// Starts the opener without waiting for it: xdg-open reports a missing browser or
// handler by its exit status, but without a desktop it may also keep running,
// and the window must not freeze meanwhile. A failure is told when it comes.
bool startOpener(const QString &opener, const QString &target, const QString &folder,
                 const std::function<void(const QString &)> &onFailure, QString &reason)
{
    auto *process = new QProcess;
    process->setProgram(opener);
    process->setArguments({target});
    process->setWorkingDirectory(folder);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted()) {
        reason = QStringLiteral("it could not be run: ") + process->errorString();
        delete process;
        return false;
    }
    // Never killed, not even when this program ends first: it is not ours to stop.
    QObject::connect(
        process, &QProcess::finished, process,
        [process, onFailure](int code, QProcess::ExitStatus status) {
            if ((status != QProcess::NormalExit || code != 0) && onFailure)
                onFailure(
                    status == QProcess::NormalExit
                        ? QStringLiteral("it ended with exit status %1").arg(code)
                        : QStringLiteral("it ended abnormally: %1").arg(process->errorString()));
            process->deleteLater();
        });
    return true;
}

// Starts a program detached; the reason when it could not be.
bool startDetached(const QString &program, const QString &folder, QString &reason)
{
    QProcess process;
    process.setProgram(program);
    process.setWorkingDirectory(folder);
    if (process.startDetached())
        return true;
    reason = QStringLiteral("it could not be run: ") + process.errorString();
    return false;
}
#endif

} // namespace

QString ShellOutcome::explanation() const
{
    if (found.isEmpty()) // refused before anything was looked for, or nothing found
        return reason.isEmpty()
                   ? QStringLiteral("No \"%1\" was found in:\n%2").arg(program, lookedIn)
                   : reason + u'.';
    // A registered value is cut as a stored one is: it may be thousands of characters long.
    switch (registered) {
    case Registered::Missing:
        return QStringLiteral("\"%1\" is registered in %2 as %3, but there is no such file. No "
                              "other was found in:\n%4")
            .arg(program, registeredIn, QuotedStoredText(found), lookedIn);
    case Registered::Relative:
        return QStringLiteral("\"%1\" is registered in %2 as %3, which is no full path: it would "
                              "name a file in whatever folder Velmora was started from, so it was "
                              "not used. No other was found in:\n%4")
            .arg(program, registeredIn, QuotedStoredText(found), lookedIn);
    case Registered::Used:
        break;
    }
    // A path short enough for Windows to start a program by stays whole.
    return QStringLiteral("%1 was found, but %2.")
        .arg(found.size() < 260 ? found : QuotedStoredText(found),
             reason.isEmpty() ? QStringLiteral("it could not be run") : reason);
}

ShellOutcome OpenWithShell(WId owner, const QString &target, const QString &folder,
                           const LateFailure &onLateFailure)
{
    ShellOutcome outcome;
    outcome.program = target;
    // A NUL would silently shorten the target to something else.
    if (target.isEmpty() || target.contains(QChar(u'\0')))
        return outcome;

#ifdef Q_OS_WIN
    Q_UNUSED(onLateFailure); // the shell tells nothing later
    const std::wstring directory = QDir::toNativeSeparators(folder).toStdWString();
    void *const window = reinterpret_cast<void *>(owner);
    static const QRegularExpression anyFolder(QStringLiteral("[\\\\/:]"));
    if (target.contains(anyFolder)) { // an address, or a file by its path
        outcome.lookedIn = QDir::toNativeSeparators(folder);
        const unsigned long error = ShellExecuteOpen(window, target.toStdWString(), directory);
        outcome.started = error == 0;
        if (error & kRefused)
            outcome.reason = refusal(error, target, outcome.lookedIn);
    } else {
        // A bare name is started only as the file we found for it: given the name, the
        // shell would first take whatever has it in the folder we were started from.
        outcome.lookedIn =
            QStringLiteral("%1, %2 and the folders on PATH")
                .arg(QDir::toNativeSeparators(folder), QString::fromWCharArray(kAppPathsKeys));
        const ProgramSearch search = FindProgram(target.toStdWString(), directory);
        if (search.found.empty()) {
            outcome.found = QString::fromStdWString(search.registered);
            outcome.registeredIn = QString::fromStdWString(search.registeredIn);
            if (search.why != ProgramSearch::Unused::None)
                outcome.registered = search.why == ProgramSearch::Unused::Missing
                                         ? ShellOutcome::Registered::Missing
                                         : ShellOutcome::Registered::Relative;
            return outcome;
        }
        outcome.found = QString::fromStdWString(search.found);
        const unsigned long error = StartProgram(search.found, directory, search.path);
        outcome.started = error == 0;
        if (error & kRefused)
            outcome.reason = QStringLiteral("it was not run: ") +
                             refusal(error, outcome.found, QDir::toNativeSeparators(folder));
        else if (error)
            outcome.reason = QStringLiteral("it could not be run: ") + systemText(error);
    }
#else
    Q_UNUSED(owner);
    // Relative names are looked up where they will run, the program folder: a program there
    // runs, anything else there (a document, a folder) goes to the opener like an address.
    const QFileInfo beside(QDir(folder), target);
    if (!hasUrlScheme(target) && beside.isFile() && beside.isExecutable()) {
        outcome.lookedIn = folder;
        outcome.found = beside.absoluteFilePath();
        outcome.started = startDetached(outcome.found, folder, outcome.reason);
    } else if (hasUrlScheme(target) || beside.exists()) {
        // QDesktopServices cannot set the working directory, so start the opener ourselves.
        outcome.program = QStringLiteral("xdg-open");
        outcome.lookedIn = pathText();
        outcome.found = findOnPath(outcome.program);
        const ShellOutcome failed{false, outcome.program, outcome.lookedIn, outcome.found};
        outcome.started =
            !outcome.found.isEmpty() && startOpener(
                                            outcome.found, target, folder,
                                            [failed, onLateFailure](const QString &reason) {
                                                ShellOutcome late = failed;
                                                late.reason = reason;
                                                if (onLateFailure)
                                                    onLateFailure(late);
                                            },
                                            outcome.reason);
    } else {
        outcome.lookedIn = folder + QStringLiteral("\nand in ") + pathText();
        outcome.found = findOnPath(target);
        outcome.started =
            !outcome.found.isEmpty() && startDetached(outcome.found, folder, outcome.reason);
    }
#endif
    if (outcome.started)
        outcome.found.clear();
    return outcome;
}
