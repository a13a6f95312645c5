#pragma once

#include "Identity.h"
#include "UnitMemory.h"

#include <string>

namespace tavo {

// What the unit keeps besides its memory: the POI button and the identity bytes.
struct UnitSettings
{
    bool bootButton = false;
    IdentityExtras extras;
};

// The state folder: one file per memory region plus "unit.conf" (layout in unit/README.md).
// Every file is replaced by writing a temporary file, syncing it and renaming it over the
// old one, so a crash leaves either the old or the new file, never a torn one.
class StateStore
{
public:
    explicit StateStore(std::string dir);

    // Reads the folder into memory and settings. A folder that does not exist or holds no
    // state yet becomes a fresh unit, saved at once. False, with a message naming the folder
    // and the fault, when the folder cannot be used; memory and settings are then unchanged.
    bool load(UnitMemory& memory, UnitSettings& settings, std::string* error);

    // Writes the regions that memory marks dirty (and clears the marks), and unit.conf when
    // settingsChanged. False with a message when a file could not be written.
    bool save(UnitMemory& memory, const UnitSettings& settings, bool settingsChanged,
              std::string* error);

private:
    bool writeAtomically(const std::string& name, const void* data, std::size_t size,
                         std::string* error) const;
    bool syncFolder(std::string* error) const;
    std::string fail(const std::string& what) const;

    std::string m_dir;
};

} // namespace tavo
