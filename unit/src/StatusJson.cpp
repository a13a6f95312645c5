#include "Identity.h"
#include "tavo/VirtualUnit.h"

#include <cstdio>
#include <cstring>

namespace tavo {
namespace {

void AppendString(std::string& out, const std::string& text)
{
    out.push_back('"');
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out.append(escape);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

void AppendBool(std::string& out, const char* key, bool value)
{
    out.append("\"").append(key).append("\":").append(value ? "true" : "false");
}

} // namespace

std::string StatusToJson(const UnitStatus& status)
{
    std::string out = "{";
    AppendBool(out, "plugged", status.plugged);
    out.push_back(',');
    AppendBool(out, "bootMode", status.bootMode);
    out.push_back(',');
    AppendBool(out, "bootButton", status.bootButton);
    for (const IdentityField& field : DecodeIdentityFields(status.identityAnswer)) {
        // The identity's own bootMode is the key above.
        if (std::strcmp(field.name, "bootMode") == 0)
            continue;
        out.append(",\"").append(field.name).append("\":").append(std::to_string(field.value));
    }
    out.append(",\"check\":{");
    AppendBool(out, "image", status.imageIntact);
    out.push_back(',');
    AppendBool(out, "db", status.dbIntact);
    out.push_back(',');
    AppendBool(out, "voice", status.voiceIntact);
    out.append("},");
    AppendBool(out, "firmwareIntact", status.firmwareIntact);
    out.append(",\"poi\":{\"store1\":")
        .append(std::to_string(status.poiSlotsInUse[0]))
        .append(",\"store2\":")
        .append(std::to_string(status.poiSlotsInUse[1]))
        .append("}");
    if (!status.stateError.empty()) {
        out.append(",\"stateError\":");
        AppendString(out, status.stateError);
    }
    out.push_back('}');
    return out;
}

} // namespace tavo
