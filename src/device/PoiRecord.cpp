#include "device/PoiRecord.h"

#include <QtEndian>
#include <algorithm>
#include <limits>

namespace {

// The white space of the C library's isspace in the "C" locale (not Unicode's: a text read
// from a file keeps its bytes as Latin-1 characters, and 0xA0 is no space there).
bool IsCSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || (u >= '\t' && u <= '\r');
}

QString TrimC(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsCSpace(text[begin]))
        ++begin;
    while (end > begin && IsCSpace(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QString Without(QString text, char removed)
{
    return text.remove(QLatin1Char(removed));
}

std::uint8_t Low8(std::int64_t value)
{
    return static_cast<std::uint8_t>(value & 0xFF);
}

} // namespace

PoiRecord PoiRecord::Decode(const std::uint8_t* bytes)
{
    PoiRecord r;
    r.marker = bytes[0];
    r.angle = qFromLittleEndian<std::uint16_t>(bytes + 1);
    r.latitude = qFromLittleEndian<std::int32_t>(bytes + 3);
    r.longitude = qFromLittleEndian<std::int32_t>(bytes + 7);
    r.day = bytes[11];
    r.month = bytes[12];
    r.year = bytes[13];
    r.hour = bytes[14];
    r.minute = bytes[15];
    return r;
}

std::array<std::uint8_t, kPoiRecordSize> PoiRecord::Encode() const
{
    std::array<std::uint8_t, kPoiRecordSize> b{};
    b[0] = marker;
    qToLittleEndian(angle, b.data() + 1);
    qToLittleEndian(latitude, b.data() + 3);
    qToLittleEndian(longitude, b.data() + 7);
    b[11] = day;
    b[12] = month;
    b[13] = year;
    b[14] = hour;
    b[15] = minute;
    return b;
}

PoiRow PoiRowOf(const PoiRecord& r, int number)
{
    return {QString::number(number),
            QString::asprintf("%04d/%02d/%02d", 2000 + r.year, r.month, r.day),
            QString::asprintf("%02d:%02d", r.hour, r.minute),
            QString::asprintf("%0.4f", r.latitude * 0.0001),
            QString::asprintf("%0.4f", r.longitude * 0.0001),
            QString::number(r.angle)};
}

std::int32_t LeadingNumber(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && IsCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min(value * 10 + (text[i].unicode() - u'0'), kLimit);
    value = negative ? -value : value;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

PoiRecord PoiRecordOf(const PoiRow& row)
{
    PoiRecord r;
    r.marker = kPoiInUse;
    const QString date = TrimC(Without(row[1], '/'));
    r.year = Low8(std::int64_t{LeadingNumber(date.left(4))} - 2000);
    r.month = Low8(LeadingNumber(date.mid(4, 2)));
    r.day = Low8(LeadingNumber(date.right(2)));
    const QString time = TrimC(Without(row[2], ':'));
    r.hour = Low8(LeadingNumber(time.left(2)));
    r.minute = Low8(LeadingNumber(time.right(2)));
    r.latitude = LeadingNumber(TrimC(Without(row[3], '.')));
    r.longitude = LeadingNumber(TrimC(Without(row[4], '.')));
    r.angle = static_cast<std::uint16_t>(LeadingNumber(row[5]) & 0xFFFF);
    return r;
}

std::vector<PoiRow> PoiStore::ListedRows() const
{
    std::vector<PoiRow> rows;
    for (std::size_t k = 0; k < kPoiSlots && Slot(k).InUse(); ++k)
        rows.push_back(PoiRowOf(Slot(k), static_cast<int>(k + 1)));
    return rows;
}

std::optional<PoiStore> PoiStore::Of(const std::vector<PoiRow>& rows)
{
    if (rows.size() > kPoiSlots)
        return std::nullopt;
    PoiStore store;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const auto record = PoiRecordOf(rows[k]).Encode();
        std::copy(record.begin(), record.end(), store.bytes.begin() + kPoiRecordSize * k);
    }
    return store;
}
