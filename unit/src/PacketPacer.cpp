#include "PacketPacer.h"

namespace tavo {

bool PacketPacer::admit(Clock::time_point now)
{
    const Clock::rep frame = now.time_since_epoch() / kFrame;
    if (frame != m_frame) {
        m_frame = frame;
        m_count = 0;
    }
    if (m_count >= kPacketsPerFrame)
        return false;
    ++m_count;
    return true;
}

} // namespace tavo
