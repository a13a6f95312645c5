#pragma once

#include "link/Packets.h"

#include <array>
#include <cstdint>

// The unit's user settings: 64 bytes at unit address 0x3FE000. Each setting is one byte
// holding the position of its choice in the settings page's list (0 is the first entry, so
// "On" is 0 and "Off" is 1). Bytes 24, 25 and 32 to 63 mean nothing to the program; they are
// carried from the last read to the next write as they are.
using SettingsRecord = std::array<std::uint8_t, kPacketSize>;

inline constexpr std::uint32_t kSettingsAddress = 0x3FE000;

// What the program takes when it has no record from the unit.
inline constexpr SettingsRecord kDefaultSettings{
    0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x06, 0x07, 0x01, 0x14, 0x02, 0x00, 0x00,
    0x00, 0x0C, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x03, 0x07, 0x0B, 0x00};

// Units up to this firmware version need the "$BT" handshake before the read at page creation.
inline constexpr int kLastFirmwareWithReadHandshake = 8011;

// The exchanges below run synchronously on the calling thread and report link failures with
// the link's own "Error[9001]" to "Error[9003]" boxes (the write reports nothing itself).
// Nothing is retried.

// "$BT": true when the answer carried the acknowledge pattern.
bool SettingsHandshake();

// "$RD" of the 64 bytes: on success the whole answer becomes record; the answer is payload
// from its first byte, so it is never tested for the acknowledge pattern. On failure record
// is left as it was.
bool SettingsRead(SettingsRecord& record);

// How a write ended.
enum class SettingsWriteResult
{
    Done,
    CommandFailed, // the "$WD" packet could not be written
    DataFailed     // the data packet could not be written
};

// "$WD" and then one data packet holding record; nothing is read back.
SettingsWriteResult SettingsWrite(const SettingsRecord& record);

// The read at the settings page's creation: handshake and read for firmware up to
// kLastFirmwareWithReadHandshake, the read alone for later firmware. A failed step ends it.
bool SettingsReadAtCreation(int fwVersion, SettingsRecord& record);

// The user's load: handshake, then read. A failed step ends it.
bool SettingsLoad(SettingsRecord& record);
