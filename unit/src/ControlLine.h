#pragma once

#include <string>
#include <string_view>

namespace tavo {

class UnitDevice;

// Runs one control command on the unit and returns the answer text, ending in a line feed:
//   status                  the status JSON
//   settings                the stored settings record: 64 bytes in hex, "00 0A ..."
//   plug | unplug           connect or pull the cable
//   boot on | boot off      hold or release the POI button (effective at the next plug-in)
//   fault KIND [N]          KIND: unplug, nak, short, stall, write-fail; fault clear
//   check-delay MS          how long "$RC" takes from now on
//   poi-seed N              N plausible POIs (0 to 100) in both POI stores, the rest erased
// Every other command answers "ok"; a malformed one answers "error: <why>".
std::string RunControlLine(UnitDevice& device, std::string_view line);

} // namespace tavo
