#include "link/SheetState.h"

void SheetFlags::SetDeviceBusy(bool busy)
{
    m_deviceBusy.store(busy ? 1 : 0);
    m_changed.Call();
}

void SheetFlags::SetReprogrammed(bool value)
{
    m_reprogrammed.store(value ? 1 : 0);
    m_changed.Call();
}
