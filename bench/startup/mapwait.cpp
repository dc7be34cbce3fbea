// mapwait: starts a command and measures how long it takes until a top-level window with a
// given title is mapped, then ends the command and reports its peak resident set size.
//
//   mapwait [--title TITLE] [--timeout SECONDS] [--settle SECONDS] -- COMMAND [ARGS...]
//
// Prints one line on success: map_ms=<ms> peak_rss_kb=<kB> cpu_ms=<user+system ms>.
// Exit status: 0 done, 1 bad usage or no X display, 2 timed out, 3 the command ended before
// its window was mapped, 4 it failed after the map (crash or error exit), 127 it could not be
// started, 128+N interrupted by signal N.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace
{

const char *const kUsage =
    "usage: mapwait [--title TITLE] [--timeout SECONDS] [--settle SECONDS] -- COMMAND [ARGS...]\n"
    "  Runs COMMAND (directly, no shell) and waits until a top-level window titled TITLE\n"
    "  (default \"Velmora\") is mapped on $DISPLAY, then ends COMMAND and prints\n"
    "  map_ms=<ms from start to map> peak_rss_kb=<kB> cpu_ms=<user+system ms>\n"
    "  --timeout  give up after SECONDS (default 30); exit status 2\n"
    "  --settle   let COMMAND run SECONDS more after the map before ending it (default 0),\n"
    "             so that the peak RSS also covers its first paint\n";

double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Windows may vanish between an event and our request about them; that is not an error here.
int ignoreGoneWindows(Display *dpy, XErrorEvent *e)
{
    if (e->error_code == BadWindow || e->error_code == BadMatch)
        return 0;
    char text[256];
    XGetErrorText(dpy, e->error_code, text, sizeof text);
    std::fprintf(stderr, "mapwait: X error: %s (request %d)\n", text, e->request_code);
    return 0;
}

pid_t childPid = -1;

// Xlib ends the process when the display goes away; end the command first.
int onDisplayLost(Display *)
{
    std::fprintf(stderr, "mapwait: lost the X connection\n");
    if (childPid > 0) {
        kill(childPid, SIGKILL);
        waitpid(childPid, nullptr, 0);
    }
    _exit(1);
}

// Signal handlers only note what happened and wake the poll loop through this pipe.
int wakePipe[2] = {-1, -1};
volatile sig_atomic_t stopSignal = 0;

void wake()
{
    const int saved = errno;
    const char c = 0;
    [[maybe_unused]] ssize_t n = write(wakePipe[1], &c, 1);
    errno = saved;
}

void onSigchld(int)
{
    wake();
}

void onStop(int sig)
{
    stopSignal = sig;
    wake();
}

bool parseSeconds(const char *text, double &out)
{
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(v >= 0))
        return false;
    out = v;
    return true;
}

std::string latin1ToUtf8(const unsigned char *s, unsigned long n)
{
    std::string out;
    for (unsigned long i = 0; i < n; ++i) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

class TitleWatch
{
public:
    TitleWatch(Display *dpy, std::string title)
        : dpy_(dpy), title_(std::move(title)), netWmName_(XInternAtom(dpy, "_NET_WM_NAME", False)),
          utf8String_(XInternAtom(dpy, "UTF8_STRING", False)),
          compoundText_(XInternAtom(dpy, "COMPOUND_TEXT", False))
    {
    }

    // Returns true when the event shows the wanted window mapped with the wanted title.
    bool handle(const XEvent &ev, Window root)
    {
        switch (ev.type) {
        case MapNotify:
            if (ev.xmap.event != root)
                return false;
            mapped_.insert(ev.xmap.window);
            return watchAndCheck(ev.xmap.window);
        case UnmapNotify:
            if (ev.xunmap.event == root)
                mapped_.erase(ev.xunmap.window);
            return false;
        case DestroyNotify:
            mapped_.erase(ev.xdestroywindow.window);
            owner_.erase(ev.xdestroywindow.window);
            return false;
        case PropertyNotify: {
            // Qt may set or change the title after the map; the map then counts from here.
            if (ev.xproperty.atom != netWmName_ && ev.xproperty.atom != XA_WM_NAME)
                return false;
            const auto it = owner_.find(ev.xproperty.window);
            if (it == owner_.end() || !mapped_.count(it->second))
                return false;
            return titleOf(ev.xproperty.window) == title_;
        }
        default:
            return false;
        }
    }

private:
    // Under a reparenting window manager the root child is a frame and the title sits on the
    // client inside it, so look a little way down as well. Watching for property changes is
    // selected before reading, so a title set in between is not missed.
    bool watchAndCheck(Window top)
    {
        std::vector<std::pair<Window, int>> todo{{top, 0}};
        bool found = false;
        while (!todo.empty()) {
            const auto [w, depth] = todo.back();
            todo.pop_back();
            owner_[w] = top;
            XSelectInput(dpy_, w, PropertyChangeMask | StructureNotifyMask);
            if (titleOf(w) == title_)
                found = true;
            if (depth >= 2)
                continue;
            Window rootRet = 0, parent = 0, *children = nullptr;
            unsigned int n = 0;
            if (XQueryTree(dpy_, w, &rootRet, &parent, &children, &n)) {
                for (unsigned int i = 0; i < n; ++i)
                    todo.push_back({children[i], depth + 1});
                if (children)
                    XFree(children);
            }
        }
        return found;
    }

    std::string titleOf(Window w)
    {
        std::string title;
        if (readProperty(w, netWmName_, utf8String_, title))
            return title;
        readProperty(w, XA_WM_NAME, AnyPropertyType, title);
        return title;
    }

    bool readProperty(Window w, Atom property, Atom wantedType, std::string &out)
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(dpy_, w, property, 0, 4096, False, wantedType, &type, &format,
                               &count, &after, &data) != Success)
            return false;
        bool ok = false;
        if (data && format == 8) {
            if (type == utf8String_) {
                out.assign(reinterpret_cast<const char *>(data), count);
                ok = true;
            } else if (type == XA_STRING) {
                out = latin1ToUtf8(data, count);
                ok = true;
            } else if (type == compoundText_) {
                XTextProperty tp{data, type, format, count};
                char **list = nullptr;
                int n = 0;
                if (Xutf8TextPropertyToTextList(dpy_, &tp, &list, &n) >= Success && n > 0) {
                    out = list[0];
                    ok = true;
                }
                if (list)
                    XFreeStringList(list);
            }
        }
        if (data)
            XFree(data);
        return ok;
    }

    Display *dpy_;
    std::string title_;
    Atom netWmName_, utf8String_, compoundText_;
    std::unordered_set<Window> mapped_;
    std::unordered_map<Window, Window> owner_; // watched window -> its root child
};

// Ends the child and collects its usage; the child must be ours directly for ru_maxrss to be
// its own figure, which is why the command is exec'd without a shell.
bool endChild(pid_t pid, int &status, rusage &usage)
{
    kill(pid, SIGTERM);
    const double giveUp = nowMs() + 2000;
    for (;;) {
        const pid_t r = wait4(pid, &status, WNOHANG, &usage);
        if (r == pid)
            return true;
        if (r < 0 && errno != EINTR)
            return false;
        if (nowMs() > giveUp)
            break;
        usleep(2000);
    }
    kill(pid, SIGKILL);
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    std::string title = "Velmora";
    double timeoutS = 30, settleS = 0;
    int cmdIndex = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {
            cmdIndex = i + 1;
            break;
        }
        const bool takesValue = a == "--title" || a == "--timeout" || a == "--settle";
        if (takesValue && i + 1 >= argc) {
            std::fprintf(stderr, "mapwait: %s needs a value\n%s", a.c_str(), kUsage);
            return 1;
        }
        if (a == "--title") {
            title = argv[++i];
        } else if (a == "--timeout" || a == "--settle") {
            if (!parseSeconds(argv[++i], a == "--timeout" ? timeoutS : settleS)) {
                std::fprintf(stderr, "mapwait: %s wants a number of seconds, not '%s'\n", a.c_str(),
                             argv[i]);
                return 1;
            }
        } else if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "mapwait: bad argument '%s'\n%s", a.c_str(), kUsage);
            return 1;
        }
    }
    if (cmdIndex < 0 || cmdIndex >= argc) {
        std::fprintf(stderr, "mapwait: no command given\n%s", kUsage);
        return 1;
    }

    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        const char *name = std::getenv("DISPLAY");
        std::fprintf(stderr, "mapwait: cannot open display '%s'\n", name ? name : "");
        return 1;
    }
    XSetErrorHandler(ignoreGoneWindows);
    XSetIOErrorHandler(onDisplayLost);
    const Window root = DefaultRootWindow(dpy);
    TitleWatch watch(dpy, title);
    // The selection must be in force at the server before the command can map anything.
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);
    const int xfd = ConnectionNumber(dpy);
    fcntl(xfd, F_SETFD, fcntl(xfd, F_GETFD) | FD_CLOEXEC);

    int execPipe[2];
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0 || pipe2(execPipe, O_CLOEXEC) != 0) {
        std::perror("mapwait: pipe");
        return 1;
    }
    struct sigaction sa = {};
    sa.sa_handler = onSigchld;
    sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigaction(SIGCHLD, &sa, nullptr);
    // Interrupted, we still end the command rather than leave it running on the display.
    struct sigaction stop = {};
    stop.sa_handler = onStop;
    stop.sa_flags = SA_RESTART;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGHUP, &stop, nullptr);

    const double start = nowMs();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("mapwait: fork");
        return 127;
    }
    if (pid == 0) {
        execvp(argv[cmdIndex], argv + cmdIndex);
        const int err = errno;
        [[maybe_unused]] ssize_t n = write(execPipe[1], &err, sizeof err);
        _exit(127);
    }
    childPid = pid;
    close(execPipe[1]);
    int execErr = 0;
    ssize_t got;
    while ((got = read(execPipe[0], &execErr, sizeof execErr)) < 0 && errno == EINTR) {
    }
    close(execPipe[0]);
    if (got == sizeof execErr) {
        std::fprintf(stderr, "mapwait: cannot start '%s': %s\n", argv[cmdIndex],
                     std::strerror(execErr));
        waitpid(pid, nullptr, 0);
        return 127;
    }

    const double deadline = start + timeoutS * 1000;
    double mappedAt = -1;
    while (mappedAt < 0) {
        while (mappedAt < 0 && XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            const double t = nowMs();
            if (watch.handle(ev, root))
                mappedAt = t;
        }
        if (mappedAt >= 0)
            break;

        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, WNOHANG, &usage) == pid) {
            if (WIFSIGNALED(status))
                std::fprintf(stderr,
                             "mapwait: '%s' was killed by signal %d before a window "
                             "titled '%s' was mapped\n",
                             argv[cmdIndex], WTERMSIG(status), title.c_str());
            else
                std::fprintf(stderr,
                             "mapwait: '%s' exited with status %d before a window "
                             "titled '%s' was mapped\n",
                             argv[cmdIndex], WEXITSTATUS(status), title.c_str());
            return 3;
        }

        const double left = deadline - nowMs();
        if (left <= 0) {
            std::fprintf(stderr,
                         "mapwait: timed out after %g s waiting for a window titled "
                         "'%s' from '%s'\n",
                         timeoutS, title.c_str(), argv[cmdIndex]);
            endChild(pid, status, usage);
            return 2;
        }
        pollfd fds[2] = {{xfd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        if (poll(fds, 2, int(left) + 1) < 0 && errno != EINTR) {
            std::perror("mapwait: poll");
            endChild(pid, status, usage);
            return 1;
        }
        if (fds[1].revents) {
            char buf[64];
            while (read(wakePipe[0], buf, sizeof buf) > 0) {
            }
        }
        if (stopSignal) {
            std::fprintf(stderr, "mapwait: interrupted by signal %d\n", int(stopSignal));
            endChild(pid, status, usage);
            return 128 + stopSignal;
        }
        if (fds[0].revents & (POLLERR | POLLHUP)) {
            std::fprintf(stderr, "mapwait: lost the X connection\n");
            endChild(pid, status, usage);
            return 1;
        }
    }

    if (settleS > 0) {
        const double until = nowMs() + settleS * 1000;
        double left;
        while (!stopSignal && (left = until - nowMs()) > 0)
            poll(nullptr, 0, int(left) + 1);
    }

    int status = 0;
    rusage usage{};
    if (stopSignal) {
        std::fprintf(stderr, "mapwait: interrupted by signal %d\n", int(stopSignal));
        endChild(pid, status, usage);
        return 128 + stopSignal;
    }
    if (!endChild(pid, status, usage)) {
        std::perror("mapwait: wait4");
        return 1;
    }
    // Ended by us is the normal end; anything else means the command failed on its own.
    const bool endedByUs =
        WIFSIGNALED(status) && (WTERMSIG(status) == SIGTERM || WTERMSIG(status) == SIGKILL);
    if (!endedByUs && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        if (WIFSIGNALED(status))
            std::fprintf(stderr,
                         "mapwait: '%s' was killed by signal %d after its window was "
                         "mapped\n",
                         argv[cmdIndex], WTERMSIG(status));
        else
            std::fprintf(stderr,
                         "mapwait: '%s' exited with status %d after its window was "
                         "mapped\n",
                         argv[cmdIndex], WEXITSTATUS(status));
        return 4;
    }
    const double cpuMs = usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
                         usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
    std::printf("map_ms=%.1f peak_rss_kb=%ld cpu_ms=%.1f\n", mappedAt - start, usage.ru_maxrss,
                cpuMs);
    XCloseDisplay(dpy);
    return 0;
}
