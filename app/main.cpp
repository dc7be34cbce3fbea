// Velmora: the options window of the Excel add-in. The run ends when the
// window unloads.

#include "command_line.h"
#include "display_guard.h"
#include "frmOptions.h"
#include "outside_world.h"
#include "settings_store.h"

#include <QApplication>
#include <QIODevice>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include "windows_console_win.h"
#endif

namespace
{

// The arguments after the program name, as the user wrote them.
QStringList decodedArguments(int argc, char *argv[])
{
    QStringList arguments;
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    for (const std::wstring &argument : ProgramArgumentsWin())
        arguments << QString::fromStdWString(argument);
#else
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
#endif
    return arguments;
}

// A message on stderr as the user wrote it, whatever the code page. Control
// characters quoted from the store are shown, not sent.
void printError(const QString &message)
{
    const QString text = VisibleOnTerminal(message);
#ifdef Q_OS_WIN
    WriteStandard(StandardStream::Error, (text + u'\n').toStdWString(), false);
#else
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
#endif
}

// A command: no window, no display, no Excel; the answer on the console.
int runWithoutWindow(int argc, char *argv[], const QStringList &command)
{
#ifdef Q_OS_WIN
    // A GUI program has no console of its own: unless it was given handles, it answers
    // in the one it was started from (cmd, PowerShell), if any.
    const bool attached = AttachStarterConsole();
    QString answer, complaints;
    QTextStream out(&answer), err(&complaints);
#else
    QTextStream out(stdout), err(stderr);
#endif
    QCoreApplication app(argc, argv);
    SettingsStore store;
    bool saved = false;
    const int status = RunCommandLine(command, store, out, err, &saved);
    // An answer that could not be written (a full disk, a closed file) is no answer.
    out.flush();
    err.flush();
    QString reason;
#ifdef Q_OS_WIN
    if (const unsigned long error =
            WriteStandard(StandardStream::Output, answer.toStdWString(), attached))
        reason = qt_error_string(int(error));
#else
    errno = 0;
    if (out.status() != QTextStream::Ok || std::fflush(stdout) != 0 || std::ferror(stdout))
        reason = errno ? QString::fromLocal8Bit(std::strerror(errno)) : out.device()->errorString();
#endif
    if (!reason.isNull())
        err << "velmora: " << (saved ? "saved, but the report" : "the answer")
            << " could not be written to standard output: " << reason << Qt::endl;
#ifdef Q_OS_WIN
    WriteStandard(StandardStream::Error, complaints.toStdWString(), attached);
#endif
    if (reason.isNull() || status != Done)
        return status;
    return saved ? SavedUnreported : StoreFailed;
}

} // namespace

int main(int argc, char *argv[])
{
    const QStringList arguments = decodedArguments(argc, argv);
    if (const qsizetype command = CommandStart(arguments); command >= 0)
        return runWithoutWindow(argc, argv, arguments.mid(command));

    DisplayGuard display(argc, argv);
    if (display.reportMissing())
        return 2;
    display.watch();
    QApplication app(argc, argv); // takes Qt's own options; any other argument is ignored
    display.answered();

    SettingsStore store;
    frmOptions form(store);
    if (const auto error = form.StartUp()) {
        // A stored value that cannot be used: say what and where, write nothing.
        const QString text = error->message();
        printError(text);
        ShowPlainMessage(nullptr, QMessageBox::Critical, text);
        return 1;
    }
    form.show();
    return app.exec();
}
