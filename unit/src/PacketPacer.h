#pragma once

#include <chrono>
#include <cstdint>

namespace tavo {

// Lets packets in at the rate of full-speed USB: at most 19 in each millisecond frame. Frames
// lie on a fixed grid of the clock, as a bus's frames do, so a late wake-up does not push
// the later frames back.
class PacketPacer
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::uint32_t kPacketsPerFrame = 19;
    static constexpr Clock::duration kFrame = std::chrono::milliseconds(1);

    // True when one more packet may go in at now, and counts it.
    bool admit(Clock::time_point now);
    // When the frame of the last admit call ends.
    Clock::time_point frameEnd() const { return Clock::time_point((m_frame + 1) * kFrame); }

private:
    Clock::rep m_frame = -1;
    std::uint32_t m_count = 0;
};

} // namespace tavo
