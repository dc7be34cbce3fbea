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

// How long the window system may take to answer while Qt connects to it: 5 s,
// or VELMORA_DISPLAY_WAIT seconds (1 to 600) for a slow remote display.
unsigned displayAnswerSeconds()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("VELMORA_DISPLAY_WAIT", &ok);
    return ok && seconds >= 1 && seconds <= 600 ? unsigned(seconds) : 5;
}

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

// While the application is made, Qt asks for the runtime folder only to learn
// whether it runs in a Flatpak (a file "flatpak-info" there), and without
// XDG_RUNTIME_DIR it warns that it takes /tmp/runtime-<user>. That is the normal
// case as root in a container or under a service, and Flatpak always sets the
// variable, so the answer is right and the warning tells a user nothing.
bool aboutFlatpakCheck(const QString &text)
{
    return text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"));
}

void whileConnecting(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtFatalMsg) {
        if (!aboutFlatpakCheck(text))
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
    const unsigned seconds = displayAnswerSeconds();
    const int n = std::snprintf(silentDisplay, sizeof silentDisplay,
                                "velmora: no display answers at %s within %u s; start it in a "
                                "desktop session or under xvfb-run\n",
                                named.constData(), seconds);
    silentDisplaySize = std::min(size_t(std::max(n, 0)), sizeof silentDisplay - 1);
    std::signal(SIGALRM, onSilentDisplay);
    ::alarm(seconds);
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

#ifdef Q_OS_WIN
// Text for a standard handle. A console gets UTF-16, so its code page, which later
// programs in that window rely on, stays as it was; a file or a pipe gets UTF-8.
// Without a handle of its own, a program attached to its starter's console writes
// there. 0 when the text was written, else why not, as a system error code taken
// at the call that failed (later calls overwrite it).
DWORD writeStandard(DWORD which, const QString &text, bool attached)
{
    HANDLE handle = GetStdHandle(which);
    HANDLE opened = INVALID_HANDLE_VALUE;
    if ((!handle || handle == INVALID_HANDLE_VALUE) && attached)
        handle = opened =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (!handle || handle == INVALID_HANDLE_VALUE) {
        // Nowhere to write to: no handle was given, and the console could not be opened.
        const DWORD error = attached ? GetLastError() : 0;
        return text.isEmpty() ? 0 : error ? error : ERROR_INVALID_HANDLE;
    }
    DWORD mode = 0;
    const bool console = GetConsoleMode(handle, &mode);
    const std::wstring wide = console ? text.toStdWString() : std::wstring();
    const QByteArray bytes = console ? QByteArray() : text.toUtf8();
    const size_t size = console ? wide.size() : size_t(bytes.size());
    DWORD error = 0;
    // In pieces: older consoles refuse a single write of more than 64 KiB. A write that
    // takes nothing (Wine's, to a pipe whose reader has gone) is tried once more, and
    // that one fails with the reason.
    for (size_t at = 0, idle = 0; !error && at < size;) {
        DWORD written = 0;
        const DWORD piece = DWORD(std::min<size_t>(size - at, 8192));
        const bool done = console
                              ? WriteConsoleW(handle, wide.data() + at, piece, &written, nullptr)
                              : WriteFile(handle, bytes.constData() + at, piece, &written, nullptr);
        if (!done) {
            const DWORD last = GetLastError();
            error = last ? last : ERROR_WRITE_FAULT;
        } else if ((idle = written ? 0 : idle + 1) > 1) {
            error = ERROR_WRITE_FAULT;
        }
        at += written;
    }
    if (opened != INVALID_HANDLE_VALUE)
        CloseHandle(opened);
    return error;
}
#endif

// A message on stderr as the user wrote it, whatever the code page. Control
// characters quoted from the store are shown, not sent.
void printError(const QString &message)
{
    const QString text = VisibleOnTerminal(message);
#ifdef Q_OS_WIN
    writeStandard(STD_ERROR_HANDLE, text + u'\n', false);
#else
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
#endif
}

// A command: no window, no display, no Excel; the answer on the console.
int runWithoutWindow(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // A GUI program has no console of its own: unless it was given handles, it answers
    // in the one it was started from (cmd, PowerShell), if any.
    const bool attached = AttachConsole(ATTACH_PARENT_PROCESS);
#endif
    QCoreApplication app(argc, argv);
    SettingsStore store;
    const QStringList arguments = app.arguments().mid(1);
#ifdef Q_OS_WIN
    QString answer, complaints;
    QTextStream out(&answer), err(&complaints);
#else
    QTextStream out(stdout), err(stderr);
#endif
    const int status = RunCommandLine(arguments.mid(CommandStart(arguments)), store, out, err);
    // An answer that could not be written (a full disk, a closed file) is no answer.
    out.flush();
    err.flush();
    QString reason;
#ifdef Q_OS_WIN
    if (const DWORD error = writeStandard(STD_OUTPUT_HANDLE, answer, attached))
        reason = qt_error_string(int(error));
#else
    errno = 0;
    if (out.status() != QTextStream::Ok || std::fflush(stdout) != 0 || std::ferror(stdout))
        reason = errno ? QString::fromLocal8Bit(std::strerror(errno)) : out.device()->errorString();
#endif
    if (!reason.isNull())
        err << "velmora: the answer could not be written to standard output: " << reason
            << Qt::endl;
#ifdef Q_OS_WIN
    writeStandard(STD_ERROR_HANDLE, complaints, attached);
#endif
    return reason.isNull() || status != Done ? status : StoreFailed;
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
