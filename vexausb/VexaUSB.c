/* This backend reaches the unit through a unix stream socket (see unit/README.md for the
 * handshake): one connection per probe, per packet written and per answer read. */
#include "VexaUSB.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#define HELLO_SIZE 8
#define SPIN_NS 100000LL

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
        n = snprintf(out, size, "/tmp/tavo-unit-%u.sock", (unsigned)getuid());
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

/* Reads the unit's one-byte reply. The unit answers within microseconds while it is
 * streaming, far sooner than a sleeping thread is woken, so the reply is polled for a short
 * while before the read blocks. */
static ssize_t await_reply(int fd, char* reply)
{
    const long long spin_until = now_ns() + SPIN_NS;
    ssize_t n;
    do {
        n = recv(fd, reply, 1, MSG_DONTWAIT);
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return n;
    } while (now_ns() < spin_until);
    do {
        n = read(fd, reply, 1);
    } while (n < 0 && errno == EINTR);
    return n;
}

/* Connects, says which channel it wants and waits for the unit's 'Y'. */
static int open_channel(const char* name)
{
    struct sockaddr_un address;
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (!socket_path(address.sun_path, sizeof address.sun_path))
        return -1;

    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, (const struct sockaddr*)&address, sizeof address) != 0) {
        close(fd);
        return -1;
    }
    char hello[HELLO_SIZE];
    memset(hello, 0, sizeof hello);
    memcpy(hello, name, strlen(name));
    char reply = 0;
    ssize_t n;
    if (!write_all(fd, hello, sizeof hello)) {
        close(fd);
        return -1;
    }
    n = await_reply(fd, &reply);
    if (n != 1 || reply != 'Y') {
        close(fd);
        return -1;
    }
    return fd;
}

int open_dev(void)
{
    return open_channel("PROBE");
}

int open_file(const char* pipe)
{
    if (!pipe)
        return -1;
    if (strcmp(pipe, "PIPE00") != 0 && strcmp(pipe, "PIPE01") != 0)
        return -1;
    return open_channel(pipe);
}
