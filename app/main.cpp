// Velmora: the options window of the Excel add-in. The run ends when the
// window unloads.

#include "command_line.h"
#include "console.h"
#include "display_guard.h"
#include "frmOptions.h"
#include "outside_world.h"
#include "settings_store.h"

#include <QApplication>

namespace
{

// A command: no window, no display, no Excel; the answer on the console.
int runWithoutWindow(int argc, char *argv[], const QStringList &command)
{
    Console console;
    QCoreApplication app(argc, argv);
    SettingsStore store;
    const int status = RunCommandLine(command, store, console.out(), console.err());
    // An answer that could not be written (a full disk, a closed file) is no answer.
    const QString reason = console.sendAnswer();
    if (!reason.isNull())
        console.err() << "velmora: the answer could not be written to standard output: " << reason
                      << Qt::endl;
    console.sendComplaints();
    return reason.isNull() || status != Done ? status : StoreFailed;
}

} // namespace

int main(int argc, char *argv[])
{
    const QStringList arguments = ProgramArguments(argc, argv);
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
        PrintError(text);
        ShowPlainMessage(nullptr, QMessageBox::Critical, text);
        return 1;
    }
    form.show();
    return app.exec();
}
