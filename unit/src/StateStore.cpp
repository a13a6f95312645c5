#include "StateStore.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tavo {
namespace {

constexpr const char* kSettingsFile = "unit.conf";
// Present while a new state folder is being filled. unit.conf is written last, so a folder
// with this marker and without unit.conf is a creation that a crash cut short.
constexpr const char* kCreatingMarker = "unit.new";
constexpr int kFormat = 1;

const char* FileNameOf(Region region)
{
    switch (region) {
    case Region::Voice:
        return "memory-voice.bin";
    case Region::Db:
        return "memory-db.bin";
    case Region::Image:
        return "memory-image.bin";
    case Region::User:
        return "memory-user.bin";
    case Region::Firmware:
        return "firmware.bin";
    }
    return "";
}

struct SettingsKey
{
    const char* name;
    std::uint8_t IdentityExtras::*byte;
};

constexpr SettingsKey kExtraKeys[] = {
    {"identity-byte63", &IdentityExtras::byte63}, {"identity-byte62", &IdentityExtras::byte62},
    {"identity-byte61", &IdentityExtras::byte61}, {"identity-byte60", &IdentityExtras::byte60},
    {"identity-byte57", &IdentityExtras::byte57}, {"identity-byte56", &IdentityExtras::byte56},
};

bool ParseNumber(const std::string& text, unsigned limit, unsigned& value)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value <= limit;
}

std::string FormatSettings(const UnitSettings& settings)
{
    std::ostringstream out;
    out << "# State of a virtual Tavo unit, written by tavo-unit. Edit only while it is stopped.\n"
        << "format=" << kFormat << "\n"
        << "boot-button=" << (settings.bootButton ? 1 : 0) << "\n";
    for (const SettingsKey& key : kExtraKeys)
        out << key.name << "=" << unsigned{settings.extras.*key.byte} << "\n";
    return out.str();
}

} // namespace

StateStore::StateStore(std::string dir) : m_dir(std::move(dir)) {}

std::string StateStore::fail(const std::string& what) const
{
    return "state folder " + m_dir + ": " + what;
}

bool StateStore::load(UnitMemory& memory, UnitSettings& settings, std::string* error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(m_dir, ec);
    if (status.type() == fs::file_type::not_found) {
        if (!fs::create_directories(m_dir, ec) && ec) {
            if (error)
                *error = fail("cannot create it: " + ec.message());
            return false;
        }
    } else if (ec) {
        if (error)
            *error = fail(ec.message());
        return false;
    } else if (status.type() != fs::file_type::directory) {
        if (error)
            *error = fail("not a folder");
        return false;
    }

    const fs::path dir(m_dir);
    const bool creationCutShort = fs::exists(dir / kCreatingMarker, ec);
    if (!fs::exists(dir / kSettingsFile, ec)) {
        for (int r = 0; r < kRegionCount && !creationCutShort; ++r) {
            if (fs::exists(dir / FileNameOf(static_cast<Region>(r)), ec)) {
                if (error)
                    *error = fail(std::string(kSettingsFile) + " is missing");
                return false;
            }
        }
        // No state yet (or only part of a new one): a unit straight from the factory.
        UnitMemory fresh;
        fresh.makeFresh();
        const UnitSettings defaults;
        if (!writeAtomically(kCreatingMarker, "", 0, error) || !syncFolder(error) ||
            !save(fresh, defaults, true, error))
            return false;
        ::unlink((dir / kCreatingMarker).c_str());
        memory = std::move(fresh);
        memory.clearDirty();
        settings = defaults;
        return true;
    }
    if (creationCutShort)
        ::unlink((dir / kCreatingMarker).c_str()); // unit.conf came; only the marker was left

    UnitSettings loaded;
    {
        std::ifstream in(dir / kSettingsFile);
        if (!in) {
            if (error)
                *error =
                    fail(std::string("cannot read ") + kSettingsFile + ": " + std::strerror(errno));
            return false;
        }
        std::string line;
        int lineNumber = 0;
        bool formatSeen = false;
        while (std::getline(in, line)) {
            ++lineNumber;
            if (line.empty() || line[0] == '#')
                continue;
            const std::size_t eq = line.find('=');
            const std::string key = line.substr(0, eq);
            const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
            const std::string where =
                std::string(kSettingsFile) + " line " + std::to_string(lineNumber) + ": ";
            unsigned number = 0;
            bool known = false;
            if (key == "format") {
                if (!ParseNumber(value, 1000, number) || number != kFormat) {
                    if (error)
                        *error = fail(where + "unknown format '" + value + "'");
                    return false;
                }
                formatSeen = known = true;
            } else if (key == "boot-button") {
                if (!ParseNumber(value, 1, number)) {
                    if (error)
                        *error = fail(where + "boot-button is 0 or 1");
                    return false;
                }
                loaded.bootButton = number == 1;
                known = true;
            }
            for (const SettingsKey& k : kExtraKeys) {
                if (key != k.name)
                    continue;
                if (!ParseNumber(value, 255, number)) {
                    if (error)
                        *error = fail(where + key + " is a number from 0 to 255");
                    return false;
                }
                loaded.extras.*k.byte = static_cast<std::uint8_t>(number);
                known = true;
            }
            if (!known) {
                if (error)
                    *error = fail(where + "unknown line '" + line + "'");
                return false;
            }
        }
        if (!formatSeen) {
            if (error)
                *error = fail(std::string(kSettingsFile) + " is not a unit state file");
            return false;
        }
    }

    UnitMemory image;
    for (int r = 0; r < kRegionCount; ++r) {
        const auto region = static_cast<Region>(r);
        const std::string name = FileNameOf(region);
        const std::uint32_t expected = SpanOf(region).size;
        std::ifstream in(dir / name, std::ios::binary);
        if (!in) {
            const std::string why = std::strerror(errno);
            if (error)
                *error = fs::exists(dir / name, ec) ? fail("cannot read " + name + ": " + why)
                                                    : fail(name + " is missing");
            return false;
        }
        in.read(reinterpret_cast<char*>(image.regionBytes(region)), expected);
        const std::streamsize got = in.gcount();
        if (got != static_cast<std::streamsize>(expected) || in.peek() != EOF) {
            const auto size = fs::file_size(dir / name, ec);
            if (error)
                *error = fail(name + " holds " + std::to_string(ec ? 0 : size) +
                              " bytes, expected " + std::to_string(expected));
            return false;
        }
    }
    image.clearDirty();
    memory = std::move(image);
    settings = loaded;
    return true;
}

bool StateStore::save(UnitMemory& memory, const UnitSettings& settings, bool settingsChanged,
                      std::string* error)
{
    const std::uint32_t dirty = memory.dirty();
    if (dirty == 0 && !settingsChanged)
        return true;
    for (int r = 0; r < kRegionCount; ++r) {
        const auto region = static_cast<Region>(r);
        if (!(dirty & (1U << r)))
            continue;
        if (!writeAtomically(FileNameOf(region), memory.regionBytes(region), SpanOf(region).size,
                             error))
            return false;
    }
    if (settingsChanged) {
        const std::string text = FormatSettings(settings);
        if (!writeAtomically(kSettingsFile, text.data(), text.size(), error))
            return false;
    }
    if (!syncFolder(error))
        return false;
    memory.clearDirty();
    return true;
}

bool StateStore::writeAtomically(const std::string& name, const void* data, std::size_t size,
                                 std::string* error) const
{
    const std::string path = m_dir + "/" + name;
    const std::string temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error)
            *error = fail("cannot write " + name + ": " + std::strerror(errno));
        return false;
    }
    const auto* p = static_cast<const char*>(data);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    const bool written = left == 0 && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        if (error)
            *error =
                fail("cannot write " + name + ": " + std::strerror(written ? errno : savedErrno));
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool StateStore::syncFolder(std::string* error) const
{
    // The renames become durable only once the folder itself is synced.
    const int fd = ::open(m_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        if (error)
            *error = fail(std::string("cannot sync: ") + std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

} // namespace tavo
