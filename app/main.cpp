// Velmora: the options window of the Excel add-in. The run ends when the
// window unloads.

#include "command_line.h"
#include "frmOptions.h"
#include "outside_world.h"
#include "settings_store.h"

#include <QApplication>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#elif defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include <csignal>
#include <unistd.h>
#define VELMORA_DISPLAY_SERVER 1
#endif

// How long the window system may take to answer while Qt connects to it.
constexpr unsigned kDisplayAnswerSeconds = 5;

// Qt reports a display it cannot reach with a few warnings and then a fatal
// message that aborts. While the window system is being reached, warnings are
// held back; a fatal message becomes one plain line and exit status 2.
namespace
{

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
std::vector<HeldMessage> held;
QtMessageHandler qtHandler = nullptr;

QByteArray displaysNamed()
{
    QByteArrayList named;
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            named << name + QByteArray("=") + value;
    }
    return named.join(", ");
}

void whileConnecting(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtFatalMsg) {
        held.push_back({type, context.category, text});
        return;
    }
    const QByteArray displays = displaysNamed();
    if (displays.isEmpty())
        std::fprintf(stderr, "velmora: the window system cannot be started: %s\n",
                     text.section(u'\n', 0, 0).toLocal8Bit().constData());
    else
        std::fprintf(stderr,
                     "velmora: no display answers at %s; start it in a desktop session or "
                     "under xvfb-run\n",
                     displays.constData());
    std::_Exit(2);
}

// Without a display Qt's X11 plugin aborts; say so plainly instead, before Qt
// is asked for a connection. Qt takes -platform before QT_QPA_PLATFORM, and
// -display before DISPLAY.
bool lacksDisplay(int argc, char *argv[])
{
#ifdef VELMORA_DISPLAY_SERVER
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    bool display = !qgetenv("DISPLAY").isEmpty();
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            platform = argv[++i];
        else if (std::strcmp(argv[i], "-display") == 0)
            display = *argv[++i] != 0;
    }
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return false; // offscreen, wayland, vnc and the like need no X display
    return !display && (!platform.isEmpty() || qgetenv("WAYLAND_DISPLAY").isEmpty());
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return false;
#endif
}

// A display that accepts a connection and never answers (a stopped X server, a
// port that only accepts) would keep Qt waiting for ever while it connects: the
// wait is bounded by an alarm, whose handler says so in one line and ends the run.
#ifdef VELMORA_DISPLAY_SERVER
char silentDisplay[512];
size_t silentDisplaySize = 0;

extern "C" void onSilentDisplay(int)
{
    (void)!::write(STDERR_FILENO, silentDisplay, silentDisplaySize);
    std::_Exit(2);
}
#endif

void boundConnection(int argc, char *argv[])
{
#ifdef VELMORA_DISPLAY_SERVER
    QByteArray named = displaysNamed();
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-display") == 0)
            named = QByteArray("-display ") + argv[i + 1];
    }
    const int n = std::snprintf(silentDisplay, sizeof silentDisplay,
                                "velmora: no display answers at %s within %u s; start it in a "
                                "desktop session or under xvfb-run\n",
                                named.constData(), kDisplayAnswerSeconds);
    silentDisplaySize = std::min(size_t(std::max(n, 0)), sizeof silentDisplay - 1);
    std::signal(SIGALRM, onSilentDisplay);
    ::alarm(kDisplayAnswerSeconds);
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
#endif
}

void connected()
{
#ifdef VELMORA_DISPLAY_SERVER
    ::alarm(0);
    std::signal(SIGALRM, SIG_DFL);
#endif
}

// A message on stderr as the user wrote it, whatever the code page: a console of
// Windows takes UTF-16, and everything else here gets UTF-8. Control characters
// quoted from the store are shown, not sent.
void printError(const QString &message)
{
    const QString text = VisibleOnTerminal(message);
#ifdef Q_OS_WIN
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        const std::wstring wide = (text + u'\n').toStdWString();
        DWORD written = 0;
        WriteConsoleW(handle, wide.c_str(), DWORD(wide.size()), &written, nullptr);
        return;
    }
#endif
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

// A command: no window, no display, no Excel; the answer on the console.
int runWithoutWindow(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // A GUI program has no console of its own: print to the one it was started
    // from, if any (cmd, PowerShell); otherwise to whatever handles it was given.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
        SetConsoleOutputCP(CP_UTF8); // what QTextStream writes
    }
#endif
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    SettingsStore store;
    const QStringList arguments = app.arguments().mid(1);
    const int status = RunCommandLine(arguments.mid(CommandStart(arguments)), store, out, err);
    // An answer that could not be written (a full disk, a closed file) is no answer.
    out.flush();
    errno = 0;
    if (out.status() != QTextStream::Ok || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const QString reason =
            errno ? QString::fromLocal8Bit(std::strerror(errno)) : out.device()->errorString();
        err << "velmora: the answer could not be written to standard output: " << reason
            << Qt::endl;
        return status == Done ? StoreFailed : status;
    }
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (CommandStart(arguments) >= 0)
        return runWithoutWindow(argc, argv);
    if (lacksDisplay(argc, argv)) {
        std::fprintf(stderr, "velmora: no display: DISPLAY is not set; start it in a desktop "
                             "session or under xvfb-run\n");
        return 2;
    }
    qtHandler = qInstallMessageHandler(whileConnecting);
    boundConnection(argc, argv);
    QApplication app(argc, argv); // takes Qt's own options; any other argument is ignored
    connected();
    qInstallMessageHandler(qtHandler);
    for (const HeldMessage &message : held) // they were not about a missing display after all
        qt_message_output(message.type,
                          QMessageLogContext(nullptr, 0, nullptr, message.category.constData()),
                          message.text);
    held.clear();

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
