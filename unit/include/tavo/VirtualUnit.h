#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavo {

// Where a traced packet went: from the host to the unit, or the unit's answer.
enum class Direction
{
    ToUnit,
    ToHost
};

struct TracedPacket
{
    Direction direction;
    std::vector<std::uint8_t> bytes; // 64 bytes, or fewer for a short or broken packet
};

// Faults the unit can be told to produce (`tavo-unit ctl fault KIND [N]`).
enum class FaultKind
{
    Unplug,    // unplug now, or after N more packets
    Nak,       // the next answer comes without the acknowledge pattern
    Short,     // the next answer is 63 bytes
    Stall,     // the next answer never comes until the unit is unplugged
    WriteFail, // writes (PIPE00 opens) fail after N more packets
};

// What `tavo-unit ctl status` reports.
struct UnitStatus
{
    bool plugged = false;
    bool bootMode = false;   // running its boot code now; unplugged: the mode of the next plug-in
    bool bootButton = false; // boot mode requested for the next plug-in
    std::array<std::uint8_t, 64> identityAnswer{}; // the "$RH" answer it gives now
    bool imageIntact = false;
    bool dbIntact = false;
    bool voiceIntact = false;
    bool firmwareIntact = false; // a unit without intact firmware comes up in boot mode
    std::string stateError;      // why the state folder could not be saved last; usually empty
    std::array<std::uint32_t, 2> poiSlotsInUse{}; // slots in use in POI store 1 and 2
};

struct UnitOptions
{
    std::string socketPath;
    std::string stateDir;
    std::string traceFile; // empty: no trace file (the in-memory trace is always kept)
    bool paced = false;    // at most 19 packets per millisecond
    bool startPlugged = true;
    int checkDelayMs = 3000; // how long "$RC" takes
};

// A virtual Tavo unit serving the packet protocol on a unix socket, on its own thread.
// All public functions are thread-safe.
class VirtualUnit
{
public:
    explicit VirtualUnit(UnitOptions options);
    ~VirtualUnit();
    VirtualUnit(const VirtualUnit&) = delete;
    VirtualUnit& operator=(const VirtualUnit&) = delete;

    // Loads (or creates) the state folder, binds the socket and starts serving. False with
    // a message in error when the state folder is unusable or the socket cannot be bound.
    bool start(std::string* error = nullptr);
    // Stops serving, saves state and removes the socket.
    void stop();

    void plug();
    void unplug();
    void setBootButton(bool held);
    void injectFault(FaultKind kind, std::uint32_t afterPackets = 0);
    // Disarms every fault, including a write failure that has already set in.
    void clearFaults();
    void setCheckDelayMs(int ms);
    // Makes "$RC" answer these bytes 60 (images), 61 (database) and 62 (voice) instead of the
    // check's own 1 or 0; nullopt ends it. For tests of values the check never gives.
    void overrideCheckAnswer(std::optional<std::array<std::uint8_t, 3>> bytes60to62);

    UnitStatus status() const;
    // Every packet since start (or the last clearTrace), in wire order.
    std::vector<TracedPacket> trace() const;
    void clearTrace();
    // Waits up to timeoutMs until the trace holds at least count packets.
    bool waitForTrace(std::size_t count, int timeoutMs) const;
    // The bad input seen since start (or the last clearTrace), as the trace file's "! bad"
    // lines say it: "unknown command", "packet cut short: 10 of 64 bytes", ...
    std::vector<std::string> problems() const;

    // Runs one control command as `tavo-unit ctl` sends it ("status", "plug", "unplug",
    // "boot on", "fault nak", ...) and returns the answer text: the status JSON, "ok", or
    // "error: ..." for a command it does not know.
    std::string control(const std::string& commandLine);

    // Direct access to unit memory (4 MiB) and the firmware area (64 KiB), for tests.
    std::vector<std::uint8_t> readMemory(std::uint32_t address, std::uint32_t length) const;
    void writeMemory(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
    std::vector<std::uint8_t> firmware() const;

    // Overrides the answer bytes 56, 57, 60, 61, 62 and 63 of "$RH" (hardware id and the
    // unused identity bytes).
    void setIdentityExtras(std::uint8_t byte63, std::uint8_t byte62, std::uint8_t byte61,
                           std::uint8_t byte60, std::uint8_t byte57, std::uint8_t byte56);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

// The status as `tavo-unit ctl status` prints it: one JSON object on one line with
// "plugged", "bootMode", "bootButton", every identity field by its program name (hwId,
// idByte62, ..., imageVersion), "check" with "image", "db", "voice", "firmwareIntact", and
// "poi" with the slots in use of "store1" and "store2".
std::string StatusToJson(const UnitStatus& status);

} // namespace tavo
