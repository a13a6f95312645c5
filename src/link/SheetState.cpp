#include "link/SheetState.h"

void SheetFlags::SetDeviceBusy(bool busy)
{
    deviceBusy.store(busy ? 1 : 0);
    NotifyChanged();
}

void SheetFlags::SetReprogrammed(bool value)
{
    reprogrammed.store(value ? 1 : 0);
    NotifyChanged();
}

void SheetFlags::SetChangedHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_handlerMutex);
    m_changed = std::move(handler);
}

void SheetFlags::NotifyChanged()
{
    std::lock_guard lock(m_handlerMutex);
    if (m_changed)
        m_changed();
}
