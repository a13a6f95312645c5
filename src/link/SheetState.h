#pragma once

#include "link/CallbackSlot.h"
#include "link/DeviceIdentity.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

// The two busy flags that keep unit operations from overlapping. Workers write them, so they
// are atomics, and the block is held through shared ownership: a worker still running when
// the sheet is gone writes into a live object. They change only through the setters, which
// tell the change handler; everyone else reads them.
class SheetFlags
{
public:
    const std::atomic<std::uint8_t>& DeviceBusy() const { return m_deviceBusy; }
    const std::atomic<std::uint8_t>& Reprogrammed() const { return m_reprogrammed; }

    // Stores the flag and tells the change handler. Callable from any thread.
    void SetDeviceBusy(bool busy);
    void SetReprogrammed(bool reprogrammed);

    // Installs the handler called (on the changing thread, no lock held) after a flag changed;
    // an empty function removes it. Once this returns the previous handler runs nowhere. The
    // handler must only post work to the user-interface thread.
    void SetChangedHandler(std::function<void()> handler) { m_changed.Set(std::move(handler)); }

private:
    std::atomic<std::uint8_t> m_deviceBusy{0};
    std::atomic<std::uint8_t> m_reprogrammed{0};
    CallbackSlot m_changed;
};

// The state of the main sheet that every page and worker shares: the two busy flags, the
// unit's identity and the diagnosis unlock. The sheet (CProptySheet) derives from it; pages
// are given a reference to it, workers the shared flags (Flags()).
//
// Every change of a flag calls the change handler, which the sheet sets to re-apply the
// enable rule of every visible page on the user-interface thread.
class SheetState
{
public:
    SheetState() = default;
    ~SheetState() = default;
    SheetState(const SheetState&) = delete;
    SheetState& operator=(const SheetState&) = delete;

private:
    // Declared first: the references below bind to it.
    std::shared_ptr<SheetFlags> m_flags = std::make_shared<SheetFlags>();

public:
    // Read-only: the flags change through SetDeviceBusy and SetReprogrammed alone.
    const std::atomic<std::uint8_t>& m_bDeviceBusy = m_flags->DeviceBusy();
    const std::atomic<std::uint8_t>& m_bReprogrammed = m_flags->Reprogrammed();
    // Written by the user-interface thread only, on the tick after a connect.
    DeviceIdentity m_identity;
    bool m_bDiagnosisUnlocked = false;

    // Stores the flag and tells the change handler. Callable from any thread.
    void SetDeviceBusy(bool busy) { m_flags->SetDeviceBusy(busy); }
    void SetReprogrammed(bool reprogrammed) { m_flags->SetReprogrammed(reprogrammed); }

    // True when neither busy flag is set.
    bool LinkIdle() const { return !m_bDeviceBusy.load() && !m_bReprogrammed.load(); }

    // See SheetFlags::SetChangedHandler.
    void SetFlagsChangedHandler(std::function<void()> handler)
    {
        m_flags->SetChangedHandler(std::move(handler));
    }

    // The flags for a worker, which may outlive the sheet.
    std::shared_ptr<SheetFlags> Flags() const { return m_flags; }
};
