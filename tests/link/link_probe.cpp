// Prints what the link's entry points return when libVexaUSB.so is missing or lacks its exports.
#include "link/Packets.h"
#include "link/UsbLink.h"

#include <cstdio>

int main()
{
    const int handle = UsbProbe();
    UsbCloseHandle(handle);
    BuildCommand("$BT", 0, 0, 1);
    const bool written = UsbWritePacket();
    const bool read = UsbReadPacket();
    const bool transact = UsbTransact(true);
    std::printf("probe=%d write=%d read=%d transact=%d\n", handle, written, read, transact);
    return 0;
}
