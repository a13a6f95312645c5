#pragma once

#include "tavo/VirtualUnit.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

// The unit's record of the packets on the link: always in memory, and as text lines in a
// trace file when one is open (format in unit/README.md). Appending a packet allocates
// nothing in the common case: bytes go into one growing buffer, and the file is written
// through a large buffer that is flushed at most every few tens of milliseconds.
class PacketTrace
{
public:
    using Clock = std::chrono::steady_clock;

    PacketTrace();
    ~PacketTrace();
    PacketTrace(const PacketTrace&) = delete;
    PacketTrace& operator=(const PacketTrace&) = delete;

    // Appends to the file at path (created when missing). False with a reason in error.
    bool openFile(const std::string& path, std::string* error);

    // Records a packet of size bytes (64, or fewer for a broken one).
    void record(Direction direction, const std::uint8_t* bytes, std::size_t size);
    // Records bad input: a line "! bad <text>" in the file, and the text in problems().
    void problem(std::string_view text);
    // Writes a line "# <text>" to the file: plug-ins, unplugs, dropped answers.
    void event(std::string_view text);

    std::size_t size() const { return m_entries.size(); }
    std::vector<TracedPacket> packets() const;
    std::vector<std::string> problems() const { return m_problems; }
    // Forgets the packets and problems in memory; the file keeps its lines.
    void clear();

    // When the file buffer has to be flushed next, if it holds unflushed lines.
    std::optional<Clock::time_point> flushDue() const;
    void flush();

private:
    struct Entry
    {
        std::uint32_t offset;
        std::uint8_t size;
        Direction direction;
    };

    void writeLine(const char* line, std::size_t size);

    std::vector<std::uint8_t> m_bytes;
    std::vector<Entry> m_entries;
    std::vector<std::string> m_problems;
    std::FILE* m_file = nullptr;
    std::vector<char> m_fileBuffer;
    std::optional<Clock::time_point> m_flushDue;
};

} // namespace tavo
