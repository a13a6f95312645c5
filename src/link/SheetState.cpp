#include "link/SheetState.h"

void SheetState::SetDeviceBusy(bool busy)
{
    m_bDeviceBusy.store(busy ? 1 : 0);
    NotifyFlagsChanged();
}

void SheetState::SetReprogrammed(bool reprogrammed)
{
    m_bReprogrammed.store(reprogrammed ? 1 : 0);
    NotifyFlagsChanged();
}

void SheetState::SetFlagsChangedHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_handlerMutex);
    m_flagsChanged = std::move(handler);
}

void SheetState::NotifyFlagsChanged()
{
    std::lock_guard lock(m_handlerMutex);
    if (m_flagsChanged)
        m_flagsChanged();
}
