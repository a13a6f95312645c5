#include "tavo/ContentFile.h"

#include "Crc32.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tavo {
namespace {

constexpr std::uint8_t kMagic[4] = {'T', 'V', 'C', 'F'};
constexpr std::uint8_t kHeaderFormat = 1;
constexpr std::size_t kHeaderCrcOffset = 60;
// A firmware file may be longer than the unit's 64 KiB (the program then sends its first
// 64 KiB only); beyond this it is surely a mistake on the command line.
constexpr std::uint32_t kLongestFirmwareFile = 1024 * 1024;

void PutU32(std::uint8_t* out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* in)
{
    return std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 | std::uint32_t{in[2]} << 16 |
           std::uint32_t{in[3]} << 24;
}

void SetError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}

// xorshift64*: the payload only has to look like data and be the same on every machine.
void FillPayload(const ContentFileSpec& spec, std::uint8_t* out, std::size_t size)
{
    std::uint64_t state = 0x9E3779B97F4A7C15ULL ^
                          (std::uint64_t{static_cast<std::uint8_t>(spec.kind)} << 40) ^
                          (std::uint64_t{spec.index} << 32) ^ spec.version;
    for (std::size_t i = 0; i < size; ++i) {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        out[i] = static_cast<std::uint8_t>((state * 0x2545F4914F6CDD1DULL) >> 56);
    }
}

bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes,
                    std::string* error)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    if (out)
        out.close();
    if (!out) {
        SetError(error, "cannot write " + path + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

void EncodeContentHeader(const ContentHeader& header, std::uint8_t* out)
{
    std::memset(out, 0, kContentHeaderSize);
    std::memcpy(out, kMagic, sizeof kMagic);
    out[4] = static_cast<std::uint8_t>(header.kind);
    out[5] = header.index;
    out[6] = kHeaderFormat;
    PutU32(out + 8, header.version);
    PutU32(out + 12, header.payloadLength);
    PutU32(out + 16, header.payloadCrc);
    PutU32(out + kHeaderCrcOffset, Crc32(out, kHeaderCrcOffset));
}

bool DecodeContentHeader(const std::uint8_t* in, ContentHeader& header)
{
    if (std::memcmp(in, kMagic, sizeof kMagic) != 0 || in[6] != kHeaderFormat)
        return false;
    if (GetU32(in + kHeaderCrcOffset) != Crc32(in, kHeaderCrcOffset))
        return false;
    if (in[4] < static_cast<std::uint8_t>(ContentFileKind::Db) ||
        in[4] > static_cast<std::uint8_t>(ContentFileKind::Firmware))
        return false;
    header.kind = static_cast<ContentFileKind>(in[4]);
    header.index = in[5];
    header.version = GetU32(in + 8);
    header.payloadLength = GetU32(in + 12);
    header.payloadCrc = GetU32(in + 16);
    return true;
}

const char* ContentKindName(ContentFileKind kind)
{
    switch (kind) {
    case ContentFileKind::Db:
        return "db";
    case ContentFileKind::Voice:
        return "voice";
    case ContentFileKind::Image:
        return "image";
    case ContentFileKind::Firmware:
        return "firmware";
    }
    return "?";
}

bool ParseContentKind(std::string_view name, ContentFileKind& kind)
{
    for (ContentFileKind k : {ContentFileKind::Db, ContentFileKind::Voice, ContentFileKind::Image,
                              ContentFileKind::Firmware}) {
        if (name == ContentKindName(k)) {
            kind = k;
            return true;
        }
    }
    return false;
}

std::uint32_t ContentAreaSize(ContentFileKind kind)
{
    switch (kind) {
    case ContentFileKind::Voice:
        return 0x140000;
    case ContentFileKind::Db:
        return 0x200000;
    case ContentFileKind::Image:
        return 0xBC000;
    case ContentFileKind::Firmware:
        return 0x10000;
    }
    return 0;
}

bool ParseContentVersion(ContentFileKind kind, std::string_view text, std::uint32_t& version,
                         std::string* error)
{
    const bool firmware = kind == ContentFileKind::Firmware;
    const std::size_t digits = firmware ? 4 : 6;
    if (text.size() != digits ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        SetError(error, "a " + std::string(ContentKindName(kind)) + " version has " +
                            std::to_string(digits) + " digits, e.g. " +
                            (firmware ? "8012" : "081021"));
        return false;
    }
    std::uint32_t value = 0;
    for (char c : text)
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (!firmware && value / 10000 > 255 - 208) {
        SetError(error, "a content version starts with 00 to 47");
        return false;
    }
    version = value;
    return true;
}

bool MakeContentFile(const ContentFileSpec& spec, std::vector<std::uint8_t>& file,
                     std::string* error)
{
    if (spec.size == 0) {
        SetError(error, "the size must be at least 1 byte");
        return false;
    }
    const std::uint32_t areaSize = ContentAreaSize(spec.kind);
    const std::uint32_t longest =
        spec.kind == ContentFileKind::Firmware ? kLongestFirmwareFile : areaSize;
    const std::uint64_t size =
        spec.exactSize ? spec.size : (std::uint64_t{spec.size} + 63) / 64 * 64;
    if (size > longest) {
        SetError(error, "a " + std::string(ContentKindName(spec.kind)) + " file holds at most " +
                            std::to_string(longest) + " bytes");
        return false;
    }
    // The header describes the whole file, but never more than the unit can hold: a longer
    // firmware file carries filler that the unit never receives.
    const std::size_t full =
        std::max<std::size_t>(static_cast<std::size_t>(size), kContentHeaderSize);
    std::vector<std::uint8_t> bytes(full);
    FillPayload(spec, bytes.data() + kContentHeaderSize, full - kContentHeaderSize);
    ContentHeader header;
    header.kind = spec.kind;
    header.index = spec.index;
    header.version = spec.version;
    header.payloadLength =
        static_cast<std::uint32_t>(std::min<std::size_t>(full, areaSize) - kContentHeaderSize);
    header.payloadCrc = Crc32(bytes.data() + kContentHeaderSize, header.payloadLength);
    EncodeContentHeader(header, bytes.data());
    bytes.resize(static_cast<std::size_t>(size));
    file = std::move(bytes);
    return true;
}

bool SaveContentFile(const ContentFileSpec& spec, const std::string& path, std::string* error)
{
    std::vector<std::uint8_t> bytes;
    return MakeContentFile(spec, bytes, error) && WriteWholeFile(path, bytes, error);
}

bool WriteUpdateServer(const std::string& dir, const UpdateServerSizes& sizes, std::string* error)
{
    namespace fs = std::filesystem;
    const fs::path root = fs::path(dir) / "down" / "fw" / "Tavo";
    std::error_code ec;
    for (const char* sub : {"FW", "DB", "Voice", "Image"}) {
        fs::create_directories(root / sub, ec);
        if (ec) {
            SetError(error, "cannot create " + (root / sub).string() + ": " + ec.message());
            return false;
        }
    }

    struct Entry
    {
        ContentFileKind kind;
        std::uint8_t index;
        const char* base; // file base name: version, then what the entry holds
        std::uint32_t size;
    };
    const Entry entries[] = {
        {ContentFileKind::Db, 0, "090115_EUROPE", sizes.db},
        {ContentFileKind::Db, 1, "090115_FRANCE", sizes.db},
        {ContentFileKind::Db, 2, "090115_CHINA", sizes.db},
        {ContentFileKind::Voice, 0, "090101_ENGLISH", sizes.voice},
        {ContentFileKind::Voice, 1, "090101_FRENCH", sizes.voice},
        {ContentFileKind::Image, 0, "090101_ENGLISH", sizes.image},
        {ContentFileKind::Image, 1, "090101_FRENCH", sizes.image},
    };
    for (const Entry& e : entries) {
        ContentFileSpec spec;
        spec.kind = e.kind;
        spec.index = e.index;
        spec.size = e.size;
        if (!ParseContentVersion(e.kind, std::string_view(e.base, 6), spec.version, error))
            return false;
        const char* folder = e.kind == ContentFileKind::Db      ? "DB"
                             : e.kind == ContentFileKind::Voice ? "Voice"
                                                                : "Image";
        const char* extension = e.kind == ContentFileKind::Db      ? ".tbn"
                                : e.kind == ContentFileKind::Voice ? ".vbn"
                                                                   : ".ibn";
        if (!SaveContentFile(spec, (root / folder / (std::string(e.base) + extension)).string(),
                             error))
            return false;
    }
    ContentFileSpec firmware;
    firmware.kind = ContentFileKind::Firmware;
    firmware.version = 8012;
    firmware.size = ContentAreaSize(ContentFileKind::Firmware);
    if (!SaveContentFile(firmware, (root / "FW" / "TavoFw.bin").string(), error))
        return false;

    const std::string catalogue = "[FW]\n"
                                  "VER_NUM=8012\n"
                                  "\n"
                                  "[DB]\n"
                                  "DB_NUM=3\n"
                                  "DB_FNAME00=090115_EUROPE\n"
                                  "DB_FNAME01=090115_FRANCE\n"
                                  "DB_FNAME02=090115_CHINA\n"
                                  "\n"
                                  "[VOICE]\n"
                                  "VOICE_NUM=2\n"
                                  "VOICE_FNAME00=090101_ENGLISH\n"
                                  "VOICE_FNAME01=090101_FRENCH\n"
                                  "\n"
                                  "[IMAGE]\n"
                                  "IMAGE_NUM=2\n"
                                  "IMAGE_FNAME00=090101_ENGLISH\n"
                                  "IMAGE_FNAME01=090101_FRENCH\n"
                                  "\n"
                                  "[LAGNUAGE]\n"
                                  "LANGUAGE_NUM=2\n"
                                  "LANGUAGE_00_VO=090101_ENGLISH\n"
                                  "LANGUAGE_00_IMG=090101_ENGLISH\n"
                                  "LANGUAGE_01_VO=090101_FRENCH\n"
                                  "LANGUAGE_01_IMG=090101_FRENCH\n";
    return WriteWholeFile((fs::path(dir) / "Tavo_VersionInfo.txt").string(),
                          std::vector<std::uint8_t>(catalogue.begin(), catalogue.end()), error);
}

} // namespace tavo
