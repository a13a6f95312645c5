#include "ControlLine.h"

#include "UnitDevice.h"
#include "UnitMemory.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <vector>

namespace tavo {
namespace {

std::vector<std::string_view> SplitWords(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

bool ParseCount(std::string_view text, std::uint32_t& value)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

std::string Error(std::string_view why)
{
    return "error: " + std::string(why) + "\n";
}

std::string RunFault(UnitDevice& device, const std::vector<std::string_view>& words)
{
    if (words.size() < 2 || words.size() > 3)
        return Error("usage: fault unplug|nak|short|stall|write-fail [N] | fault clear");
    const std::string_view kind = words[1];
    if (kind == "clear" && words.size() == 2) {
        device.clearFaults();
        return "ok\n";
    }
    std::uint32_t count = 0;
    if (words.size() == 3 && !ParseCount(words[2], count))
        return Error("N is a count of packets");
    const bool counted = kind == "unplug" || kind == "write-fail";
    if (words.size() == 3 && !counted)
        return Error("only unplug and write-fail take a count");
    if (kind == "unplug")
        device.injectFault(FaultKind::Unplug, count);
    else if (kind == "write-fail")
        device.injectFault(FaultKind::WriteFail, count);
    else if (kind == "nak")
        device.injectFault(FaultKind::Nak, 0);
    else if (kind == "short")
        device.injectFault(FaultKind::Short, 0);
    else if (kind == "stall")
        device.injectFault(FaultKind::Stall, 0);
    else
        return Error("unknown fault '" + std::string(kind) + "'");
    return "ok\n";
}

// The stored settings record as "00 0A 00 ...": 64 bytes in hex on one line.
std::string SettingsHex(const UnitDevice& device)
{
    std::uint8_t record[kSettingsSize];
    device.memory().read(kSettingsAddress, record, kSettingsSize);
    std::string out;
    for (std::uint8_t byte : record) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        out.append(out.empty() ? "" : " ").append(hex);
    }
    return out + "\n";
}

} // namespace

std::string RunControlLine(UnitDevice& device, std::string_view line)
{
    const std::vector<std::string_view> words = SplitWords(line);
    if (words.empty())
        return Error("empty command");
    const std::string_view command = words[0];
    if (command == "status" && words.size() == 1)
        return StatusToJson(device.status()) + "\n";
    if (command == "settings" && words.size() == 1)
        return SettingsHex(device);
    if (command == "plug" && words.size() == 1) {
        device.plug();
        return "ok\n";
    }
    if (command == "unplug" && words.size() == 1) {
        device.unplug();
        return "ok\n";
    }
    if (command == "boot" && words.size() == 2 && (words[1] == "on" || words[1] == "off")) {
        device.setBootButton(words[1] == "on");
        return "ok\n";
    }
    if (command == "fault")
        return RunFault(device, words);
    if (command == "poi-seed" && words.size() == 2) {
        std::uint32_t count = 0;
        if (!ParseCount(words[1], count) || count > 100)
            return Error("poi-seed takes a count of POIs from 0 to 100");
        device.seedPois(count);
        return "ok\n";
    }
    if (command == "check-delay" && words.size() == 2) {
        std::uint32_t ms = 0;
        if (!ParseCount(words[1], ms) || ms > 24U * 3600U * 1000U)
            return Error("check-delay takes milliseconds");
        device.setCheckDelayMs(static_cast<int>(ms));
        return "ok\n";
    }
    if ((command == "damage" || command == "repair") && words.size() == 2) {
        std::optional<Region> region;
        if (words[1] == "db")
            region = Region::Db;
        else if (words[1] == "voice")
            region = Region::Voice;
        else if (words[1] == "image")
            region = Region::Image;
        if (!region)
            return Error(std::string(command) + " takes db, voice or image");
        std::string why;
        const bool ok =
            command == "damage" ? device.damage(*region, &why) : device.repair(*region, &why);
        return ok ? "ok\n" : Error(why);
    }
    return Error("unknown command '" + std::string(line) + "'");
}

} // namespace tavo
