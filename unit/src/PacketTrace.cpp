#include "PacketTrace.h"

#include <cerrno>
#include <cstring>

namespace tavo {
namespace {

// A 2 MiB database stream is 32,768 packets: room for that and more from the start.
constexpr std::size_t kReservedPackets = 1 << 16;
constexpr std::size_t kFileBufferSize = 256 * 1024;
constexpr auto kFlushDelay = std::chrono::milliseconds(50);

} // namespace

PacketTrace::PacketTrace()
{
    m_bytes.reserve(kReservedPackets * 64);
    m_entries.reserve(kReservedPackets);
}

PacketTrace::~PacketTrace()
{
    if (m_file)
        std::fclose(m_file);
}

bool PacketTrace::openFile(const std::string& path, std::string* error)
{
    std::FILE* file = std::fopen(path.c_str(), "ae");
    if (!file) {
        if (error)
            *error = "cannot open trace file " + path + ": " + std::strerror(errno);
        return false;
    }
    if (m_file)
        std::fclose(m_file);
    m_file = file;
    m_fileBuffer.resize(kFileBufferSize);
    std::setvbuf(m_file, m_fileBuffer.data(), _IOFBF, m_fileBuffer.size());
    return true;
}

void PacketTrace::record(Direction direction, const std::uint8_t* bytes, std::size_t size)
{
    m_entries.push_back(
        {static_cast<std::uint32_t>(m_bytes.size()), static_cast<std::uint8_t>(size), direction});
    m_bytes.insert(m_bytes.end(), bytes, bytes + size);
    if (!m_file)
        return;
    static constexpr char kHex[] = "0123456789abcdef";
    char line[2 + 2 * 255 + 1];
    std::size_t n = 0;
    line[n++] = direction == Direction::ToUnit ? '>' : '<';
    line[n++] = ' ';
    for (std::size_t i = 0; i < size; ++i) {
        line[n++] = kHex[bytes[i] >> 4];
        line[n++] = kHex[bytes[i] & 0x0F];
    }
    line[n++] = '\n';
    writeLine(line, n);
}

void PacketTrace::problem(std::string_view text)
{
    m_problems.emplace_back(text);
    if (!m_file)
        return;
    std::string line = "! bad ";
    line.append(text);
    line.push_back('\n');
    writeLine(line.data(), line.size());
}

void PacketTrace::event(std::string_view text)
{
    if (!m_file)
        return;
    std::string line = "# ";
    line.append(text);
    line.push_back('\n');
    writeLine(line.data(), line.size());
}

std::vector<TracedPacket> PacketTrace::packets() const
{
    std::vector<TracedPacket> result;
    result.reserve(m_entries.size());
    for (const Entry& e : m_entries) {
        const auto* first = m_bytes.data() + e.offset;
        result.push_back({e.direction, std::vector<std::uint8_t>(first, first + e.size)});
    }
    return result;
}

void PacketTrace::clear()
{
    m_entries.clear();
    m_bytes.clear();
    m_problems.clear();
}

std::optional<PacketTrace::Clock::time_point> PacketTrace::flushDue() const
{
    return m_flushDue;
}

void PacketTrace::flush()
{
    if (m_file)
        std::fflush(m_file);
    m_flushDue.reset();
}

void PacketTrace::writeLine(const char* line, std::size_t size)
{
    std::fwrite(line, 1, size, m_file);
    if (!m_flushDue)
        m_flushDue = Clock::now() + kFlushDelay;
}

} // namespace tavo
