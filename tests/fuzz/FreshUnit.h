#pragma once

#include "UnitDevice.h"

// One virtual unit for the whole run, made a fresh unit again before each input (building
// one per input would map and fill megabytes each time): factory memory, no faults, no trace,
// the POI button as given, plugged in. It has no state folder, so every save fails at once
// and nothing reaches the disk.
inline tavo::UnitDevice& FreshUnit(bool bootButton)
{
    using namespace tavo;
    static const UnitMemory fresh = [] {
        UnitMemory memory;
        memory.makeFresh();
        memory.clearDirty();
        for (Region region : {Region::Voice, Region::Db, Region::Image, Region::Firmware})
            memory.intact(region); // the content check's results, computed once
        return memory;
    }();
    static UnitDevice device("/nonexistent/tavo-fuzz", 0);
    device.unplug();
    device.clearFaults();
    device.setCheckDelayMs(0);
    device.setBootButton(bootButton);
    device.memory() = fresh;
    device.trace().clear();
    device.plug();
    return device;
}
