// mapwait: starts a command and measures how long it takes until a top-level window with a
// given title is mapped, then ends the command and reports its peak resident set size.
//
//   mapwait [--title TITLE] [--timeout SECONDS] [--settle SECONDS] -- COMMAND [ARGS...]
//
// Prints map_ms=<ms> peak_rss_kb=<kB> cpu_ms=<user+system ms> and exits 0; on any failure it
// says why on stderr and exits 1. Made for a private X server without a window manager: the
// windows it looks at are the root window's children, titles are compared byte for byte.

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// A window may be gone by the time we ask about it; that is no error here.
int ignoreXErrors(Display *, XErrorEvent *)
{
    return 0;
}

std::string property(Display *dpy, Window w, Atom name)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    std::string text;
    if (XGetWindowProperty(dpy, w, name, 0, 1024, False, AnyPropertyType, &type, &format, &count,
                           &after, &data) == Success &&
        data && format == 8)
        text.assign(reinterpret_cast<const char *>(data), count);
    if (data)
        XFree(data);
    return text;
}

bool titled(Display *dpy, Window w, Atom netWmName, const std::string &title)
{
    const std::string net = property(dpy, w, netWmName);
    return (net.empty() ? property(dpy, w, XA_WM_NAME) : net) == title;
}

// Ends the child and collects its usage. The child is the command itself (no shell in
// between), so ru_maxrss is the command's own peak.
void endChild(pid_t pid, int &status, rusage &usage)
{
    kill(pid, SIGTERM);
    for (const double giveUp = nowMs() + 2000; nowMs() < giveUp; usleep(2000)) {
        if (wait4(pid, &status, WNOHANG, &usage) == pid)
            return;
    }
    kill(pid, SIGKILL);
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
}

int fail(const char *what, const std::string &detail = {})
{
    std::fprintf(stderr, "mapwait: %s%s\n", what, detail.c_str());
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    std::string title = "Velmora";
    double timeoutS = 30, settleS = 0;
    int cmd = 1;
    for (; cmd + 1 < argc && std::strcmp(argv[cmd], "--") != 0; cmd += 2) {
        const std::string option = argv[cmd];
        if (option == "--title")
            title = argv[cmd + 1];
        else if (option == "--timeout")
            timeoutS = std::atof(argv[cmd + 1]);
        else if (option == "--settle")
            settleS = std::atof(argv[cmd + 1]);
        else
            return fail("unknown option ", option);
    }
    if (cmd + 1 >= argc || std::strcmp(argv[cmd], "--") != 0)
        return fail("usage: mapwait [--title T] [--timeout S] [--settle S] -- COMMAND [ARGS...]");
    char **command = argv + cmd + 1;

    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return fail("cannot open the display");
    XSetErrorHandler(ignoreXErrors);
    const Window root = DefaultRootWindow(dpy);
    const Atom netWmName = XInternAtom(dpy, "_NET_WM_NAME", False);
    // In force at the server before the command can map anything.
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    const double start = nowMs();
    const pid_t pid = fork();
    if (pid < 0)
        return fail("fork: ", std::strerror(errno));
    if (pid == 0) {
        close(ConnectionNumber(dpy));
        execvp(command[0], command);
        _exit(127);
    }

    int status = 0;
    rusage usage{};
    double mappedAt = -1;
    while (mappedAt < 0) {
        while (mappedAt < 0 && XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            const double t = nowMs();
            if (ev.type == MapNotify && ev.xmap.event == root) {
                // The title may also come after the map; the map then counts from there.
                XSelectInput(dpy, ev.xmap.window, PropertyChangeMask);
                if (titled(dpy, ev.xmap.window, netWmName, title))
                    mappedAt = t;
            } else if (ev.type == PropertyNotify &&
                       (ev.xproperty.atom == netWmName || ev.xproperty.atom == XA_WM_NAME) &&
                       titled(dpy, ev.xproperty.window, netWmName, title)) {
                mappedAt = t;
            }
        }
        if (mappedAt >= 0)
            break;
        if (wait4(pid, &status, WNOHANG, &usage) == pid)
            return fail("the command ended before its window was mapped: ", command[0]);
        if (nowMs() - start > timeoutS * 1000) {
            endChild(pid, status, usage);
            return fail("timed out waiting for a window titled ", title);
        }
        pollfd fd{ConnectionNumber(dpy), POLLIN, 0};
        poll(&fd, 1, 10); // also wakes now and then to notice a command that died
    }

    // Running a little longer lets the peak RSS include the first paint.
    usleep(useconds_t(settleS * 1e6));
    if (wait4(pid, &status, WNOHANG, &usage) != pid)
        endChild(pid, status, usage);
    const bool endedByUs =
        WIFSIGNALED(status) && (WTERMSIG(status) == SIGTERM || WTERMSIG(status) == SIGKILL);
    if (!endedByUs && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        return fail("the command failed after its window was mapped: ", command[0]);

    const double cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    std::printf("map_ms=%.1f peak_rss_kb=%ld cpu_ms=%.1f\n", mappedAt - start, usage.ru_maxrss,
                cpuMs);
    XCloseDisplay(dpy);
    return 0;
}
