#pragma once

#include "link/DeviceIdentity.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

// The state of the main sheet that every page and worker shares: the two busy flags that keep
// unit operations from overlapping, the unit's identity and the diagnosis unlock. The sheet
// (CProptySheet) derives from it; pages and workers are given a reference to it.
//
// The flags are atomics because workers write them. Every change of a flag calls the
// change handler, which the sheet sets to re-apply the enable rule of every visible page on
// the user-interface thread.
class SheetState
{
public:
    SheetState() = default;
    ~SheetState() = default;
    SheetState(const SheetState&) = delete;
    SheetState& operator=(const SheetState&) = delete;

    std::atomic<std::uint8_t> m_bDeviceBusy{0};
    std::atomic<std::uint8_t> m_bReprogrammed{0};
    // Written by the user-interface thread only, on the tick after a connect.
    DeviceIdentity m_identity;
    bool m_bDiagnosisUnlocked = false;

    // Stores the flag and tells the change handler. Callable from any thread.
    void SetDeviceBusy(bool busy);
    void SetReprogrammed(bool reprogrammed);

    // True when a page may start an exchange: connected, not busy, not reprogrammed.
    bool LinkIdle() const { return !m_bDeviceBusy.load() && !m_bReprogrammed.load(); }

    // Installs the handler called (on the changing thread) after a flag changed; an empty
    // function removes it. The handler must only post work to the user-interface thread.
    void SetFlagsChangedHandler(std::function<void()> handler);

private:
    void NotifyFlagsChanged();

    std::mutex m_handlerMutex;
    std::function<void()> m_flagsChanged;
};
