#include "display_probe.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#endif

namespace
{

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)

using Clock = std::chrono::steady_clock;

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

enum class Answer { Answered, Refused, Silent };

int remainingMs(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return int(std::max<long long>(0, left.count()));
}

// Connects without blocking, sends `hello` and waits for any answer (bytes, or
// the server closing) until the deadline.
Answer ask(const sockaddr *address, socklen_t length, const std::vector<char> &hello,
           Clock::time_point deadline)
{
    const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Answer::Refused;
    auto finish = [fd](Answer answer) {
        ::close(fd);
        return answer;
    };
    // A local socket whose backlog is full (a server that stopped accepting)
    // says EAGAIN instead of waiting: try again until the deadline.
    while (::connect(fd, address, length) != 0) {
        if (errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int error = 0;
            socklen_t size = sizeof error;
            if (::poll(&p, 1, remainingMs(deadline)) == 0)
                return finish(Answer::Silent);
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
                return finish(Answer::Refused);
            break;
        }
        if (errno != EAGAIN && errno != EINTR)
            return finish(Answer::Refused);
        if (Clock::now() >= deadline)
            return finish(Answer::Silent);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) != ssize_t(hello.size()))
        return finish(Answer::Refused);
    pollfd p{fd, POLLIN, 0};
    int ready;
    while ((ready = ::poll(&p, 1, remainingMs(deadline))) < 0 && errno == EINTR) {
    }
    return finish(ready == 0 ? Answer::Silent : Answer::Answered);
}

Answer askLocal(const std::string &path, bool abstract, const std::vector<char> &hello,
                Clock::time_point deadline)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0; // an abstract name starts with a NUL
    if (path.size() + offset >= sizeof address.sun_path)
        return Answer::Refused;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const auto length =
        socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    return ask(reinterpret_cast<const sockaddr *>(&address), length, hello, deadline);
}

// An X connection set-up without authorisation: a server answers it at once,
// whether it lets us in or not. Byte order 'l' (little-endian), protocol 11.0.
const std::vector<char> kXHello{'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// DISPLAY is [protocol/][host]:number[.screen]; a local display is a socket in
// /tmp/.X11-unix (on Linux also in the abstract namespace, tried first, as libxcb
// does), a host one is TCP port 6000 + number.
Answer askX(const std::string &display, Clock::time_point deadline)
{
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos || (colon > 0 && display[colon - 1] == ':'))
        return Answer::Refused; // no display number, or DECnet: left to Qt
    std::string host = display.substr(0, colon);
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        return Answer::Refused;
    if (!host.empty() && host[0] == '/') // a socket path of its own (launchd style)
        return askLocal(host, false, kXHello, deadline);
    const size_t slash = host.find('/');
    const std::string protocol = slash == std::string::npos ? "" : host.substr(0, slash);
    if (slash != std::string::npos)
        host.erase(0, slash + 1);
    if (host.empty() || host == "unix" || protocol == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + number;
        const Answer abstract = askLocal(path, true, kXHello, deadline);
        return abstract == Answer::Refused ? askLocal(path, false, kXHello, deadline) : abstract;
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const std::string port = std::to_string(6000 + std::atoi(number.c_str()));
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0)
        return Answer::Refused;
    Answer answer = Answer::Refused;
    for (const addrinfo *a = found; a && answer == Answer::Refused; a = a->ai_next)
        answer = ask(a->ai_addr, a->ai_addrlen, kXHello, deadline);
    ::freeaddrinfo(found);
    return answer;
}

// A Wayland display is asked for a sync callback on the display object (id 1,
// request 0, new id 2, 12 bytes in the machine's byte order): the server
// answers with events.
Answer askWayland(const std::string &name, Clock::time_point deadline)
{
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    if (name[0] != '/' && runtime.empty())
        return Answer::Refused; // libwayland refuses this itself
    const std::string path = name[0] == '/' ? name : runtime + "/" + name;
    const quint32 words[3] = {1, 12u << 16, 2};
    std::vector<char> hello(sizeof words);
    std::memcpy(hello.data(), words, sizeof words);
    return askLocal(path, false, hello, deadline);
}

#endif

} // namespace

DisplayVerdict JudgeDisplays(int argc, char **argv, std::chrono::milliseconds timeout)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Qt takes -platform NAME before QT_QPA_PLATFORM, and its X plugin -display
    // NAME before DISPLAY. A list "wayland;xcb" is tried in order.
    std::string platforms = environment("QT_QPA_PLATFORM");
    std::string x11 = environment("DISPLAY"), xNamed = "DISPLAY=";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            platforms = argv[++i];
        else if (std::strcmp(argv[i], "-display") == 0)
            x11 = argv[++i], xNamed = "-display ";
    }
    std::string wayland = environment("WAYLAND_DISPLAY");
    const bool anyPlatform = platforms.empty(); // Qt's default, which a session may change
    bool usesX = anyPlatform, usesWayland = anyPlatform;
    for (size_t at = 0; at < platforms.size();) {
        const size_t end = std::min(platforms.find(';', at), platforms.size());
        const std::string name = platforms.substr(at, end - at);
        usesX = usesX || name.rfind("xcb", 0) == 0; // "xcb:option" too
        usesWayland = usesWayland || name.rfind("wayland", 0) == 0;
        at = end + 1;
    }
    if (!usesX && !usesWayland)
        return {}; // offscreen, vnc and the like need no display
    // The X plugin needs a display named; Wayland's library takes "wayland-0" when
    // none is, but Qt's default only tries Wayland when one is named.
    const bool askingX = usesX && !x11.empty();
    const bool askingWayland = usesWayland && (!wayland.empty() || !anyPlatform);
    if (!askingX && !askingWayland)
        return {DisplayVerdict::NoneNamed, {}};
    if (wayland.empty())
        wayland = "wayland-0";

    const auto deadline = Clock::now() + timeout;
    if (askingX && askX(x11, deadline) == Answer::Silent)
        return {DisplayVerdict::Silent, xNamed + x11};
    if (askingWayland && askWayland(wayland, deadline) == Answer::Silent)
        return {DisplayVerdict::Silent, "WAYLAND_DISPLAY=" + wayland};
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    Q_UNUSED(timeout);
#endif
    return {};
}
