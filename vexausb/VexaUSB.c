/* This backend reaches the unit through a unix stream socket (see unit/README.md for the
 * handshake): one connection per probe, per packet written and per answer read.
 *
 * A unit that has stopped (its process suspended, or hung) still has its socket: connecting
 * waits for it to accept and the hello waits for its reply. Those waits are bounded, so such a
 * unit is no unit: the probe gives up after PROBE_TIMEOUT_MS, opening a pipe after
 * PIPE_TIMEOUT_MS. What comes after a pipe is open (the unit's answer on PIPE01, which a
 * check may take seconds to produce) is owed by the unit and waited for as long as it takes.
 *
 * Only a unit served by this user counts: a socket whose peer runs as another user (placed
 * where the unit's socket was expected) is no unit, and hears nothing from us. */
#include "VexaUSB.h"

#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#define HELLO_SIZE 8
#define SPIN_NS 100000LL
#define PROBE_TIMEOUT_MS 200
#define PIPE_TIMEOUT_MS 1000

/* Fills out with the unit's socket path; 0 when the path does not fit (a cut path could name
 * another socket). */
static int socket_path(char* out, size_t size)
{
    const char* explicit_path = getenv("TAVO_UNIT_SOCKET");
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    int n;
    if (explicit_path && *explicit_path)
        n = snprintf(out, size, "%s", explicit_path);
    else if (runtime && *runtime)
        n = snprintf(out, size, "%s/tavo-unit.sock", runtime);
    else
        n = snprintf(out, size, "/tmp/tavo-unit-%u/tavo-unit.sock", (unsigned)getuid());
    return n > 0 && (size_t)n < size;
}

static int write_all(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        data += n;
        size -= (size_t)n;
    }
    return 1;
}

static long long now_ns(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

/* Reads the unit's one-byte reply, giving up at deadline (monotonic nanoseconds). The unit
 * answers within microseconds while it is streaming, far sooner than a sleeping thread is
 * woken, so the reply is polled for a short while before the thread sleeps. */
static ssize_t await_reply(int fd, char* reply, long long deadline)
{
    const long long spin_until = now_ns() + SPIN_NS;
    ssize_t n;
    do {
        n = recv(fd, reply, 1, MSG_DONTWAIT);
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return n;
    } while (now_ns() < spin_until);
    for (;;) {
        const long long left = deadline - now_ns();
        struct pollfd p = {fd, POLLIN, 0};
        if (left <= 0)
            return -1;
        /* Rounded up, so that the last poll does not return just before the deadline. */
        if (poll(&p, 1, (int)((left + 999999) / 1000000)) < 0 && errno != EINTR)
            return -1;
        n = recv(fd, reply, 1, MSG_DONTWAIT);
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return n;
    }
}

static int peer_is_this_user(int fd)
{
    struct ucred peer;
    socklen_t size = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer &&
           peer.uid == getuid();
}

/* Connects, says which channel it wants and waits for the unit's 'Y', all within timeout_ms. */
static int open_channel(const char* name, int timeout_ms)
{
    const long long deadline = now_ns() + (long long)timeout_ms * 1000000LL;
    struct sockaddr_un address;
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (!socket_path(address.sun_path, sizeof address.sun_path))
        return -1;

    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    /* The send timeout also bounds connect() on a unix socket: it waits while the unit's queue
     * of connections not yet accepted is full. */
    struct timeval send_timeout = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    if (setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_timeout, sizeof send_timeout) != 0 ||
        connect(fd, (const struct sockaddr*)&address, sizeof address) != 0 ||
        !peer_is_this_user(fd)) {
        close(fd);
        return -1;
    }
    char hello[HELLO_SIZE];
    memset(hello, 0, sizeof hello);
    memcpy(hello, name, strlen(name));
    char reply = 0;
    if (!write_all(fd, hello, sizeof hello) || await_reply(fd, &reply, deadline) != 1 ||
        reply != 'Y') {
        close(fd);
        return -1;
    }
    return fd;
}

int open_dev(void)
{
    return open_channel("PROBE", PROBE_TIMEOUT_MS);
}

int open_file(const char* pipe)
{
    if (!pipe)
        return -1;
    if (strcmp(pipe, "PIPE00") != 0 && strcmp(pipe, "PIPE01") != 0)
        return -1;
    return open_channel(pipe, PIPE_TIMEOUT_MS);
}
