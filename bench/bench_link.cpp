// Sends a 2 MB database (32,768 data packets) into an unpaced virtual unit twice: through the
// full link path (UsbWritePacket: dlopen of libVexaUSB.so, open_file, write, close per packet)
// and over raw per-packet unix-socket connections that speak the same handshake without the
// library (same handshake, same brief poll for the unit's reply). Prints both per-packet
// costs; the last line is "ratio R" (full path / raw).
#include "link/Packets.h"
#include "link/UsbLink.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <tavo/VirtualUnit.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t kPackets = 32768;
constexpr std::uint32_t kDbAddress = 0x140000;

using Clock = std::chrono::steady_clock;

void BuildOpening()
{
    g_cmdPacket.fill(0);
    std::memcpy(g_cmdPacket.data(), "$WDS", 4);
    PutU32(g_cmdPacket, 4, kDbAddress);
    PutU32(g_cmdPacket, 8, kPackets * 64);
    PutU32(g_cmdPacket, 12, kPackets);
}

void FillData(std::uint32_t k)
{
    for (std::size_t i = 0; i < kPacketSize; ++i)
        g_cmdPacket[i] = static_cast<std::uint8_t>(k * 7 + i);
}

// Waits for the unit's reply as libVexaUSB.so does (polls briefly, then blocks), so that the
// two runs differ only by the library.
ssize_t AwaitReply(int fd, char* reply)
{
    const auto spinUntil = Clock::now() + std::chrono::microseconds(100);
    do {
        const ssize_t n = recv(fd, reply, 1, MSG_DONTWAIT);
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return n;
    } while (Clock::now() < spinUntil);
    return read(fd, reply, 1);
}

bool RawWrite(const std::string& socketPath)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    char hello[8] = {'P', 'I', 'P', 'E', '0', '0', 0, 0};
    char reply = 0;
    ok = ok && send(fd, hello, sizeof hello, MSG_NOSIGNAL) == sizeof hello;
    ok = ok && AwaitReply(fd, &reply) == 1 && reply == 'Y';
    ok = ok && send(fd, g_cmdPacket.data(), kPacketSize, MSG_NOSIGNAL) == kPacketSize;
    close(fd);
    return ok;
}

template <typename Write> double MicrosecondsPerPacket(Write write)
{
    BuildOpening();
    if (!write())
        return -1;
    const auto start = Clock::now();
    for (std::uint32_t k = 0; k < kPackets; ++k) {
        FillData(k);
        if (!write())
            return -1;
    }
    const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
    return elapsed.count() / kPackets;
}

} // namespace

int main()
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tavo-bench-link-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    tavo::UnitOptions options;
    options.socketPath = (dir / "run" / "unit.sock").string(); // the unit makes run/, 0700
    options.stateDir = (dir / "state").string();
    setenv("TAVO_UNIT_SOCKET", options.socketPath.c_str(), 1);

    tavo::VirtualUnit unit(options);
    std::string error;
    if (!unit.start(&error)) {
        std::fprintf(stderr, "virtual unit did not start: %s\n", error.c_str());
        return 1;
    }

    // Each path runs twice, alternately, and keeps its better run: the first run of a fresh
    // unit also pays for growing the unit's in-memory trace.
    double full = -1;
    double raw = -1;
    for (int round = 0; round < 2; ++round) {
        const double f = MicrosecondsPerPacket([] { return UsbWritePacket(); });
        unit.clearTrace();
        const double r = MicrosecondsPerPacket([&] { return RawWrite(options.socketPath); });
        unit.clearTrace();
        if (f < 0 || r < 0) {
            full = raw = -1;
            break;
        }
        full = full < 0 ? f : std::min(full, f);
        raw = raw < 0 ? r : std::min(raw, r);
    }
    unit.stop();
    std::filesystem::remove_all(dir);

    if (full < 0 || raw < 0) {
        std::fprintf(stderr, "a packet could not be written\n");
        return 1;
    }
    std::printf("packets %u\n", kPackets);
    std::printf("full path %.2f us/packet\n", full);
    std::printf("raw socket %.2f us/packet\n", raw);
    std::printf("ratio %.2f\n", full / raw);
    return 0;
}
