#include "display_guard.h"

#include <QByteArrayList>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include <csignal>
#include <unistd.h>
#define VELMORA_DISPLAY_SERVER 1
#endif
#ifdef VELMORA_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace
{

constexpr unsigned DefaultDisplayWait = 5;

// How long the window system may take to answer: 5 s, or VELMORA_DISPLAY_WAIT
// seconds (1 to 600) for a slow remote display. Any other value is said to be
// wrong, and the default holds.
unsigned displayAnswerSeconds()
{
    if (!qEnvironmentVariableIsSet("VELMORA_DISPLAY_WAIT"))
        return DefaultDisplayWait;
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("VELMORA_DISPLAY_WAIT", &ok);
    if (ok && seconds >= 1 && seconds <= 600)
        return unsigned(seconds);
    std::fprintf(stderr,
                 "velmora: VELMORA_DISPLAY_WAIT=\"%s\" is not a number of seconds from 1 to 600; "
                 "the display is given %u s\n",
                 qgetenv("VELMORA_DISPLAY_WAIT").constData(), DefaultDisplayWait);
    return DefaultDisplayWait;
}

// Qt reports a display it cannot reach with a few warnings and then a fatal
// message that aborts. While the window system is being reached, warnings are
// held back; a fatal message becomes one plain line and exit status 2.
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

// Qt's plugins say so when the display itself could not be reached (X11: "could
// not connect to display", Wayland: "Failed to create wl_display").
bool displayUnreachable()
{
    return std::any_of(held.begin(), held.end(), [](const HeldMessage &message) {
        return message.text.contains(QLatin1String("connect to display"), Qt::CaseInsensitive) ||
               message.text.contains(QLatin1String("wl_display"));
    });
}

void whileConnecting(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtFatalMsg) {
        if (!aboutFlatpakCheck(text))
            held.push_back({type, context.category, text});
        return;
    }
    const QByteArray displays = displaysNamed();
    if (!displays.isEmpty() && displayUnreachable()) {
        std::fprintf(stderr,
                     "velmora: no display answers at %s; start it in a desktop session or "
                     "under xvfb-run\n",
                     displays.constData());
    } else {
        // Something else failed (a platform plugin missing or misspelt): Qt's own
        // reason, then ours in one line.
        QStringList reasons;
        for (const HeldMessage &message : held)
            reasons << message.text;
        reasons << text.section(u'\n', 0, 0);
        std::fprintf(stderr, "velmora: the window system cannot be started: %s\n",
                     reasons.join(QLatin1String("; ")).toLocal8Bit().constData());
    }
    std::_Exit(2);
}

#ifdef VELMORA_DISPLAY_SERVER
// A display that accepts a connection and never answers (a stopped X server, a
// port that only accepts) would keep Qt waiting for ever while it connects: the
// wait is bounded by an alarm, whose handler says so in one line and ends the run.
char silentDisplay[512];
size_t silentDisplaySize = 0;

extern "C" void onSilentDisplay(int)
{
    (void)!::write(STDERR_FILENO, silentDisplay, silentDisplaySize);
    std::_Exit(2);
}
#endif

} // namespace

DisplayGuard::DisplayGuard(int argc, char *argv[])
    : m_platform(qgetenv("QT_QPA_PLATFORM")), m_named(displaysNamed()),
      m_x11Display(!qgetenv("DISPLAY").isEmpty())
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0) {
            m_platform = argv[++i];
        } else if (std::strcmp(argv[i], "-display") == 0) {
            m_display = argv[++i];
            m_x11Display = !m_display.isEmpty();
            m_named = "-display " + m_display;
        }
    }
}

bool DisplayGuard::reportMissing() const
{
#ifdef VELMORA_DISPLAY_SERVER
    if (!m_platform.isEmpty() && !m_platform.startsWith("xcb"))
        return false; // offscreen, wayland, vnc and the like need no X display
    if (m_x11Display || (m_platform.isEmpty() && !qgetenv("WAYLAND_DISPLAY").isEmpty()))
        return false;
    std::fprintf(stderr, "velmora: no display: DISPLAY is not set; start it in a desktop "
                         "session or under xvfb-run\n");
    return true;
#else
    return false;
#endif
}

void DisplayGuard::watch()
{
    qtHandler = qInstallMessageHandler(whileConnecting);
#ifdef VELMORA_DISPLAY_SERVER
    const unsigned seconds = displayAnswerSeconds();
    const int n = std::snprintf(silentDisplay, sizeof silentDisplay,
                                "velmora: no display answers at %s within %u s; start it in a "
                                "desktop session or under xvfb-run\n",
                                m_named.constData(), seconds);
    silentDisplaySize = std::min(size_t(std::max(n, 0)), sizeof silentDisplay - 1);
    std::signal(SIGALRM, onSilentDisplay);
    ::alarm(seconds);
#endif
#ifdef VELMORA_HAVE_XCB
    // On X11 the bound is for the display's answer alone, not for the plugins,
    // input methods and themes Qt loads after it, which a busy machine may make
    // slow: a connection of our own, closed at once, and the alarm is off once the
    // server has answered it. One that refuses is left to Qt, which says why.
    if (m_platform.isEmpty() || m_platform.startsWith("xcb")) {
        xcb_connection_t *c =
            xcb_connect(m_display.isEmpty() ? nullptr : m_display.constData(), nullptr);
        const bool answered = !xcb_connection_has_error(c);
        xcb_disconnect(c);
        if (answered)
            ::alarm(0);
    }
#endif
}

void DisplayGuard::answered()
{
#ifdef VELMORA_DISPLAY_SERVER
    ::alarm(0);
    std::signal(SIGALRM, SIG_DFL);
#endif
    qInstallMessageHandler(qtHandler);
    for (const HeldMessage &message : held) // they were not about a missing display after all
        qt_message_output(message.type,
                          QMessageLogContext(nullptr, 0, nullptr, message.category.constData()),
                          message.text);
    held.clear();
}
