#include "UnitTestHelpers.h"

#include <QStringList>
#include <algorithm>
#include <cstring>
#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <tavo/ContentFile.h>
#include <unistd.h>

namespace unittest {

std::optional<Packet> Exchange(const char* command, std::uint32_t address, std::uint32_t length,
                               std::uint32_t count, bool skipAck)
{
    BuildCommand(command, address, length, count);
    if (!UsbTransact(skipAck))
        return std::nullopt;
    return g_ansPacket;
}

bool Settle()
{
    return Exchange("$BT").has_value();
}

bool WriteStreamHeader(const char* command, std::uint32_t address, std::uint32_t length,
                       std::uint32_t count)
{
    g_cmdPacket.fill(0);
    std::memcpy(g_cmdPacket.data(), command, 4);
    PutU32(g_cmdPacket, 4, address);
    PutU32(g_cmdPacket, 8, length);
    PutU32(g_cmdPacket, 12, count);
    return UsbWritePacket();
}

bool WriteDataPackets(const std::vector<std::uint8_t>& bytes, std::size_t maxPackets)
{
    const std::size_t packets = std::min(bytes.size() / 64, maxPackets);
    for (std::size_t k = 0; k < packets; ++k) {
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(64 * k), 64, g_cmdPacket.begin());
        if (!UsbWritePacket())
            return false;
    }
    return true;
}

bool StreamContent(const std::vector<std::uint8_t>& file, std::uint32_t address)
{
    const auto size = static_cast<std::uint32_t>(file.size());
    return WriteStreamHeader("$WDS", address, size, size / 64) && WriteDataPackets(file);
}

bool StreamFirmware(const std::vector<std::uint8_t>& file)
{
    std::vector<std::uint8_t> image(65536, 0);
    // A partial last chunk goes out as zeros, as the program sends it.
    std::copy_n(file.begin(), std::min<std::size_t>(file.size() / 64 * 64, image.size()),
                image.begin());
    return WriteStreamHeader("$WFE", 0, 65536, 1024) && WriteDataPackets(image);
}

std::vector<std::uint8_t> ContentFile(tavo::ContentFileKind kind, std::uint8_t index,
                                      std::uint32_t version, std::uint32_t size, bool exactSize)
{
    tavo::ContentFileSpec spec;
    spec.kind = kind;
    spec.index = index;
    spec.version = version;
    spec.size = size;
    spec.exactSize = exactSize;
    std::vector<std::uint8_t> file;
    tavo::MakeContentFile(spec, file);
    return file;
}

bool ReadWithin(int giveUpMs)
{
    auto reading = std::async(std::launch::async, [] { return UsbReadPacket(); });
    if (reading.wait_for(std::chrono::milliseconds(giveUpMs)) == std::future_status::timeout)
        UsbCancelPendingRead();
    return reading.get();
}

std::optional<Packet> ExchangeWithin(const char* command, int giveUpMs)
{
    BuildCommand(command, 0, 0, 1);
    if (!UsbWritePacket() || !ReadWithin(giveUpMs) || !HasAckPattern(g_ansPacket))
        return std::nullopt;
    return g_ansPacket;
}

QString Slice(const Packet& packet, std::size_t first, std::size_t last)
{
    QStringList parts;
    for (std::size_t i = first; i <= last; ++i)
        parts.append(QStringLiteral("%1").arg(packet[i], 2, 16, QLatin1Char('0')));
    return parts.join(QLatin1Char(' '));
}

RawClient::RawClient(const QString& socketPath)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = socketPath.toLocal8Bit();
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()) + 1);
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd >= 0 &&
        ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        close();
}

RawClient::~RawClient()
{
    close();
}

bool RawClient::send(const void* data, std::size_t size)
{
    return m_fd >= 0 && ::send(m_fd, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
}

bool RawClient::hello(const char* channel)
{
    char bytes[8] = {};
    std::memcpy(bytes, channel, std::min<std::size_t>(std::strlen(channel), 8));
    return send(bytes, sizeof bytes);
}

char RawClient::reply(int waitMs)
{
    pollfd p{m_fd, POLLIN, 0};
    char byte = 0;
    if (m_fd < 0 || ::poll(&p, 1, waitMs) != 1 || ::read(m_fd, &byte, 1) != 1)
        return 0;
    return byte;
}

std::vector<std::uint8_t> RawClient::readAll(int waitMs)
{
    std::vector<std::uint8_t> bytes;
    pollfd p{m_fd, POLLIN, 0};
    std::uint8_t buffer[256];
    while (m_fd >= 0 && ::poll(&p, 1, waitMs) == 1) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
}

void RawClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace unittest
