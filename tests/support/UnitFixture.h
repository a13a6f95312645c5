#pragma once

// A virtual unit serving in this process, reached through the program's own link (link ->
// dlopen -> socket), and through a raw socket for what the library never sends.
#include "link/Packets.h"
#include "link/UsbLink.h"

#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <algorithm>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <tavo/ContentFile.h>
#include <tavo/VirtualUnit.h>
#include <unistd.h>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// A virtual unit on a temporary socket with a fresh state folder. While it lives,
// TAVO_UNIT_SOCKET points the USB library at it. A paced unit takes packets no faster than
// full-speed USB, so that a firmware stream lasts about 54 ms.
class UnitFixture
{
public:
    explicit UnitFixture(bool plugged = true, int checkDelayMs = 0, bool paced = false)
    {
        m_options = {
            socketPath().toStdString(), stateDir().toStdString(), {}, paced, plugged, checkDelayMs};
        qputenv("TAVO_UNIT_SOCKET", m_options.socketPath.c_str());
        std::string error;
        if (!restart(&error))
            qFatal("virtual unit did not start: %s", error.c_str());
    }
    ~UnitFixture()
    {
        m_unit->stop();
        qunsetenv("TAVO_UNIT_SOCKET");
    }

    tavo::VirtualUnit& unit() { return *m_unit; }
    tavo::VirtualUnit* operator->() { return m_unit.get(); }
    QString stateDir() const { return m_dir.filePath(QStringLiteral("state")); }
    QString socketPath() const { return m_dir.filePath(QStringLiteral("unit.sock")); }
    // Packets the host sent to the unit since the last clear, answers left out.
    std::vector<Bytes> sentPackets() const
    {
        std::vector<Bytes> result;
        for (const tavo::TracedPacket& p : m_unit->trace()) {
            if (p.direction == tavo::Direction::ToUnit)
                result.push_back(p.bytes);
        }
        return result;
    }

    // Stops the unit and starts a new one on the same state folder (a power cycle).
    bool restart(std::string* error = nullptr)
    {
        if (m_unit)
            m_unit->stop();
        m_unit = std::make_unique<tavo::VirtualUnit>(m_options);
        return m_unit->start(error);
    }

private:
    QTemporaryDir m_dir;
    tavo::UnitOptions m_options;
    std::unique_ptr<tavo::VirtualUnit> m_unit;
};

// Reads the next answer, giving up after giveUpMs so that a unit that never answers fails the
// test instead of hanging it. The cancel goes through a token, so it holds even when the read
// has not begun yet (a loaded machine).
inline bool ReadWithin(int giveUpMs)
{
    UsbCancelToken token;
    auto reading = std::async(std::launch::async, [&token] {
        const UsbCancelScope scope(token);
        return UsbReadPacket();
    });
    if (reading.wait_for(std::chrono::milliseconds(giveUpMs)) == std::future_status::timeout)
        token.Cancel();
    return reading.get();
}

// Sends a command and reads its answer (acknowledge tested unless skipAck); nothing when the
// exchange failed.
inline std::optional<Packet> Exchange(const char* command, std::uint32_t address = 0,
                                      std::uint32_t length = 0, bool skipAck = false)
{
    BuildCommand(command, address, length, 1);
    if (!UsbWritePacket() || !ReadWithin(2000) || (!skipAck && !HasAckPattern(g_ansPacket)))
        return std::nullopt;
    return g_ansPacket;
}

// Bytes first..last as "00 01 ...".
inline QString Slice(const Packet& packet, std::size_t first, std::size_t last)
{
    const auto* data = reinterpret_cast<const char*>(packet.data() + first);
    return QString::fromLatin1(QByteArray(data, qsizetype(last - first + 1)).toHex(' '));
}

// The first bytes of the settings record read through the link, "00 0a 00 00" on a fresh
// unit: the unit serves, and no stray answer of an earlier command lands in this exchange.
inline QString SettingsStart()
{
    return Slice(Exchange("$RD", 0x3FE000, 64, true).value_or(Packet{}), 0, 3);
}

// Writes a command packet whose fourth letter counts ("$WDS", "$WFE"), then whole 64-byte
// packets of data, at most maxPackets, as the engine does.
inline bool WriteCommand(const char* command, std::uint32_t address, std::uint32_t length,
                         std::uint32_t count, const Bytes& data = {},
                         std::size_t maxPackets = SIZE_MAX)
{
    BuildCommand(command, address, length, count);
    g_cmdPacket[3] = static_cast<std::uint8_t>(command[3]);
    bool written = UsbWritePacket();
    for (std::size_t k = 0; written && k < std::min(data.size() / 64, maxPackets); ++k) {
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(64 * k), 64, g_cmdPacket.begin());
        written = UsbWritePacket();
    }
    return written;
}

// A content file from the unit's own generator, streamed to address as the engine does.
inline bool StreamContent(tavo::ContentFileKind kind, std::uint8_t index, std::uint32_t size,
                          std::uint32_t address)
{
    Bytes file;
    tavo::MakeContentFile({kind, index, 90115, size}, file);
    const auto length = static_cast<std::uint32_t>(file.size());
    return WriteCommand("$WDS", address, length, length / 64, file);
}

// The hello of the pipe to the unit, padded with zeros to 8 bytes.
inline const QByteArray kPipe00Hello("PIPE00\0\0", 8);

// A client on the unit's socket, to send what the library never would.
class RawClient
{
public:
    explicit RawClient(const QString& socketPath, bool nonBlocking = false)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.toLocal8Bit().constData(),
                     sizeof address.sun_path - 1);
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            close();
    }
    ~RawClient() { close(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return m_fd >= 0; }
    bool send(const QByteArray& bytes)
    {
        return ::send(m_fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL) ==
               bytes.size();
    }
    // The unit's one-byte reply, or 0 when none came within 2 s.
    char reply()
    {
        pollfd p{m_fd, POLLIN, 0};
        char byte = 0;
        return ::poll(&p, 1, 2000) == 1 && ::read(m_fd, &byte, 1) == 1 ? byte : 0;
    }
    void close()
    {
        const int error = errno; // why connecting failed, for the caller
        ::close(std::exchange(m_fd, -1));
        errno = error;
    }

private:
    int m_fd = -1;
};

} // namespace testsupport
