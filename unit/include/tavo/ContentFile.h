#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

// The four kinds of file the unit stores; the value is the kind byte of the header.
enum class ContentFileKind : std::uint8_t
{
    Db = 1,
    Voice = 2,
    Image = 3,
    Firmware = 4,
};

// Every content file and firmware image starts with this 64-byte header (layout in
// unit/README.md). The unit reads its identity from the headers it holds and checks each
// area against the payload CRC.
inline constexpr std::size_t kContentHeaderSize = 64;

struct ContentHeader
{
    ContentFileKind kind = ContentFileKind::Db;
    std::uint8_t index = 0;          // database area, voice set or image set; 0 for firmware
    std::uint32_t version = 0;       // 81021 for "081021", 8012 for firmware "8012"
    std::uint32_t payloadLength = 0; // bytes after the header that the CRC covers
    std::uint32_t payloadCrc = 0;    // CRC-32 of those bytes
};

// Writes header as 64 bytes at out.
void EncodeContentHeader(const ContentHeader& header, std::uint8_t* out);

// Reads the 64 bytes at in. False when they are no header of ours (magic, format or the
// header's own CRC wrong); header is then untouched.
bool DecodeContentHeader(const std::uint8_t* in, ContentHeader& header);

// "db", "voice", "image", "firmware" and back.
const char* ContentKindName(ContentFileKind kind);
bool ParseContentKind(std::string_view name, ContentFileKind& kind);

// Room for a file of kind in the unit: the size of its memory area (64 KiB for firmware).
std::uint32_t ContentAreaSize(ContentFileKind kind);

// Parses a version as written on the command line and in file names: six digits for content
// ("081021"), four for firmware ("8012"). Content versions can only start with 00 to 47,
// because the unit reports the first part plus 208 in one byte.
bool ParseContentVersion(ContentFileKind kind, std::string_view text, std::uint32_t& version,
                         std::string* error = nullptr);

struct ContentFileSpec
{
    ContentFileKind kind = ContentFileKind::Db;
    std::uint8_t index = 0;
    std::uint32_t version = 0;
    std::uint32_t size = 0; // file size in bytes, header included
    bool exactSize = false; // false: size is rounded up to a multiple of 64
};

// Builds a content file: header, then a pseudo-random payload that depends only on kind,
// index and version. Fails (with a reason in error) when the size does not fit the unit.
bool MakeContentFile(const ContentFileSpec& spec, std::vector<std::uint8_t>& file,
                     std::string* error = nullptr);

// MakeContentFile, written to path.
bool SaveContentFile(const ContentFileSpec& spec, const std::string& path,
                     std::string* error = nullptr);

struct UpdateServerSizes
{
    std::uint32_t db = 256 * 1024;
    std::uint32_t voice = 128 * 1024;
    std::uint32_t image = 64 * 1024;
};

// Writes an update tree under dir: dir/down/fw/Tavo/{FW,DB,Voice,Image}/... and the matching
// catalogue dir/Tavo_VersionInfo.txt, offering newer content than a fresh unit holds.
bool WriteUpdateServer(const std::string& dir, const UpdateServerSizes& sizes = {},
                       std::string* error = nullptr);

} // namespace tavo
