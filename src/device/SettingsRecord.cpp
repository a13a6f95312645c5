#include "device/SettingsRecord.h"

#include "link/UsbLink.h"

bool SettingsHandshake()
{
    BuildCommand("$BT", 0, 0, 1);
    return UsbTransactReport(false);
}

bool SettingsRead(SettingsRecord& record)
{
    BuildCommand("$RD", kSettingsAddress, kPacketSize, 1);
    if (!UsbTransactReport(true))
        return false;
    record = g_ansPacket;
    return true;
}

SettingsWriteResult SettingsWrite(const SettingsRecord& record)
{
    BuildCommand("$WD", kSettingsAddress, kPacketSize, 1);
    if (!UsbWritePacket())
        return SettingsWriteResult::CommandFailed;
    g_cmdPacket = record;
    if (!UsbWritePacket())
        return SettingsWriteResult::DataFailed;
    return SettingsWriteResult::Done;
}

bool SettingsReadAtCreation(int fwVersion, SettingsRecord& record)
{
    if (fwVersion <= kLastFirmwareWithReadHandshake && !SettingsHandshake())
        return false;
    return SettingsRead(record);
}

bool SettingsLoad(SettingsRecord& record)
{
    return SettingsHandshake() && SettingsRead(record);
}
