// The virtual unit's packet parser: the first byte holds the POI button (bit 0) at the
// plug-in, the rest is what local processes write to PIPE00, cut into 64-byte packets (a
// shorter tail arrives cut short). Every answer is read as soon as it is ready.
#include "FreshUnit.h"

using namespace tavo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    UnitDevice& device = FreshUnit(data[0] & 1);
    for (++data, --size; size >= kUnitPacketSize;
         data += kUnitPacketSize, size -= kUnitPacketSize) {
        device.takePacket(data);
        while (const UnitDevice::Answer* answer = device.readyAnswer(UnitDevice::Clock::now()))
            device.answerDelivered(answer->size);
    }
    if (size > 0)
        device.takeBrokenPacket(data, size, "cut short");
    return 0;
}
