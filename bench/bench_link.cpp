// Sends a 2 MB database (32,768 data packets) into an unpaced virtual unit twice: through the
// full link path (UsbWritePacket: dlopen of libVexaUSB.so, open_file, write, close per packet)
// and over raw per-packet unix-socket connections that speak the same handshake without the
// library. Prints both per-packet costs; the last line is "ratio R" (full path / raw).
#include "link/Packets.h"
#include "link/UsbLink.h"

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
    ok = ok && read(fd, &reply, 1) == 1 && reply == 'Y';
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
    options.socketPath = (dir / "unit.sock").string();
    options.stateDir = (dir / "state").string();
    setenv("TAVO_UNIT_SOCKET", options.socketPath.c_str(), 1);

    tavo::VirtualUnit unit(options);
    std::string error;
    if (!unit.start(&error)) {
        std::fprintf(stderr, "virtual unit did not start: %s\n", error.c_str());
        return 1;
    }

    const double full = MicrosecondsPerPacket([] { return UsbWritePacket(); });
    unit.clearTrace();
    const double raw = MicrosecondsPerPacket([&] { return RawWrite(options.socketPath); });
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
