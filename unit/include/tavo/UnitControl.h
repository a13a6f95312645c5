#pragma once

#include <string>

namespace tavo {

// The socket the USB library looks for when nothing else is said: $TAVO_UNIT_SOCKET, else
// $XDG_RUNTIME_DIR/tavo-unit.sock, else /tmp/tavo-unit-<uid>/tavo-unit.sock.
std::string DefaultUnitSocketPath();

// Sends one control command ("status", "unplug", "fault nak", ...) to the unit serving at
// socketPath and puts its answer text in answer. False, with a reason in error, when no unit
// answers there.
bool SendControlLine(const std::string& socketPath, const std::string& commandLine,
                     std::string& answer, std::string* error = nullptr);

} // namespace tavo
