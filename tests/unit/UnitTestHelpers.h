#pragma once

#include "link/Packets.h"
#include "link/UsbLink.h"

#include <QString>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <tavo/ContentFile.h>
#include <tavo/VirtualUnit.h>
#include <thread>
#include <vector>

namespace unittest {

// Sends a command through the program's link and reads the answer; the answer is copied out
// of g_ansPacket, or nothing when the exchange failed.
std::optional<Packet> Exchange(const char* command, std::uint32_t address = 0,
                               std::uint32_t length = 0, std::uint32_t count = 1,
                               bool skipAck = false);

// Returns once the unit has acted on every packet written so far: packets are taken in order,
// so the answer to a "$BT" comes only after them. False when the exchange failed.
bool Settle();

// Writes the opening packet of a stream ("$WDS" or "$WFE" built in place) with UsbWritePacket.
bool WriteStreamHeader(const char* command, std::uint32_t address, std::uint32_t length,
                       std::uint32_t count);

// Writes bytes as data packets, 64 at a time, the way the programming engine does: only
// whole packets, at most maxPackets of them. False at the first failed write.
bool WriteDataPackets(const std::vector<std::uint8_t>& bytes,
                      std::size_t maxPackets = static_cast<std::size_t>(-1));

// Streams a content file into the unit as the program's content write does.
bool StreamContent(const std::vector<std::uint8_t>& file, std::uint32_t address);

// Streams a firmware image: "$WFE", then 1024 packets, zeros after the end of the file.
bool StreamFirmware(const std::vector<std::uint8_t>& file);

// A content file made by the unit's own generator.
std::vector<std::uint8_t> ContentFile(tavo::ContentFileKind kind, std::uint8_t index,
                                      std::uint32_t version, std::uint32_t size,
                                      bool exactSize = false);

// As Exchange with the acknowledge test, but gives up after giveUpMs instead of waiting for
// ever on a unit that does not answer.
std::optional<Packet> ExchangeWithin(const char* command, int giveUpMs = 2000);

// Reads the next answer on another thread and gives up after giveUpMs with
// UsbCancelPendingRead: the result of UsbReadPacket.
bool ReadWithin(int giveUpMs);

// Bytes first..last of a packet as "00 01 ...", for readable comparisons.
QString Slice(const Packet& packet, std::size_t first, std::size_t last);

// A client that speaks to the unit's socket directly, to send what the library never would.
class RawClient
{
public:
    explicit RawClient(const QString& socketPath);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return m_fd >= 0; }
    bool send(const void* data, std::size_t size);
    // Sends the 8-byte hello of a channel name.
    bool hello(const char* channel);
    // The unit's one-byte reply, or 0 when none came within waitMs (or the unit closed).
    char reply(int waitMs = 2000);
    // Reads until the unit closes or waitMs passes; the bytes that came.
    std::vector<std::uint8_t> readAll(int waitMs = 2000);
    void close();

private:
    int m_fd = -1;
};

} // namespace unittest
