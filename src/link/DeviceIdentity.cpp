#include "link/DeviceIdentity.h"

#include "link/UsbLink.h"

namespace {

constexpr std::int32_t kVersionBias = 208;

std::int32_t ComposeVersion(std::uint32_t high, std::uint32_t mid, std::uint32_t low)
{
    return ((static_cast<std::int32_t>(high) - kVersionBias) * 100 +
            static_cast<std::int32_t>(mid)) *
               100 +
           static_cast<std::int32_t>(low);
}

} // namespace

void DecodeIdentity(const Packet& answer, HwIdForm form, DeviceIdentity& id)
{
    id.hwId = form == HwIdForm::AllBits ? answer[63] : static_cast<std::uint32_t>(answer[63] >> 5);
    id.idByte62 = answer[62];
    id.idByte61 = answer[61];
    id.idByte60 = answer[60];
    id.fwMinor = answer[59];
    id.bootMode = answer[58] != 0;
    id.idByte57 = answer[57];
    id.idByte56 = answer[56];
    id.fwMajor = answer[55];
    id.dbIndexByte = answer[54];
    id.dbVerHigh = answer[53];
    id.dbVerMid = answer[52];
    id.dbVerLow = answer[51];
    id.voiceIndexByte = answer[50];
    id.voiceVerHigh = answer[49];
    id.voiceVerMid = answer[48];
    id.voiceVerLow = answer[47];
    id.imageIndexByte = answer[46];
    id.imageVerHigh = answer[45];
    id.imageVerMid = answer[44];
    id.imageVerLow = answer[43];

    id.fwVersion = static_cast<std::int32_t>(id.fwMajor * 100 + id.fwMinor);
    id.dbIndex = static_cast<std::int32_t>(id.dbIndexByte);
    id.dbVersion = ComposeVersion(id.dbVerHigh, id.dbVerMid, id.dbVerLow);
    id.voiceIndex = static_cast<std::int32_t>(id.voiceIndexByte);
    id.voiceVersion = ComposeVersion(id.voiceVerHigh, id.voiceVerMid, id.voiceVerLow);
    id.imageIndex = static_cast<std::int32_t>(id.imageIndexByte);
    id.imageVersion = ComposeVersion(id.imageVerHigh, id.imageVerMid, id.imageVerLow);
}

bool ReadIdentity(HwIdForm form, DeviceIdentity& identity)
{
    BuildCommand("$RH", 0, 0, 1);
    if (!UsbTransact(false))
        return false;
    DecodeIdentity(g_ansPacket, form, identity);
    return true;
}
