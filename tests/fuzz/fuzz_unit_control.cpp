// The virtual unit's control-line parser: each line of the input is one "tavo-unit ctl"
// command as a local process sends it to the unit's socket.
#include "ControlLine.h"
#include "FreshUnit.h"

#include <string_view>

using namespace tavo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    UnitDevice& device = FreshUnit(false);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        RunControlLine(device, text.substr(start, end - start));
        start = end + 1;
    }
    return 0;
}
