#pragma once

#include "link/ContentKind.h"

#include <array>
#include <atomic>
#include <cstdint>

// What a programming worker tells its page: the share of the current transfer already sent,
// which kinds have been programmed, and whether the run failed. The worker writes, the page's
// timer reads; every field is an atomic so neither needs a lock. Held through a shared_ptr
// by both, because a worker may outlive the page that started it.
struct TransferProgress
{
    std::atomic<std::uint32_t> percent{0};
    std::array<std::atomic<std::uint8_t>, kContentKindCount> done{};
    std::atomic<std::uint8_t> error{0};

    // Clears every field: the page calls it when it begins a run.
    void Reset()
    {
        percent.store(0);
        for (auto& flag : done)
            flag.store(0);
        error.store(0);
    }

    // True when the transfer of kind has ended successfully.
    bool IsDone(ContentKind kind) const { return done[KindIndex(kind)].load() != 0; }
};
