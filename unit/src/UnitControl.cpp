#include "tavo/UnitControl.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace tavo {

std::string DefaultUnitSocketPath()
{
    if (const char* path = std::getenv("TAVO_UNIT_SOCKET"); path && *path)
        return path;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/tavo-unit.sock";
    return "/tmp/tavo-unit-" + std::to_string(::getuid()) + "/tavo-unit.sock";
}

bool SendControlLine(const std::string& socketPath, const std::string& commandLine,
                     std::string& answer, std::string* error)
{
    const auto fail = [&](const std::string& why) {
        if (error)
            *error = "no unit at " + socketPath + ": " + why;
        return false;
    };
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path)
        return fail("path too long");
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(std::strerror(errno));
    // A unit answers a command at once; one that is stopped or hung must not hang a script.
    const timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        return fail(why);
    }
    std::string request(8, '\0');
    request.replace(0, 3, "CTL");
    request += commandLine;
    request += '\n';
    const char* p = request.data();
    std::size_t left = request.size();
    while (left > 0) {
        const ssize_t n = ::send(fd, p, left, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string why = std::strerror(errno);
            ::close(fd);
            return fail(why);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    answer.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (answer.empty())
        return fail("no answer");
    return true;
}

} // namespace tavo
