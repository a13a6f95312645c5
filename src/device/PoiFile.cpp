#include "device/PoiFile.h"

QByteArray PoiFileOf(const std::vector<PoiRow>& rows)
{
    QByteArray file;
    for (const PoiRow& row : rows) {
        for (int column = 0; column < kPoiColumns; ++column) {
            if (column > 0)
                file += ',';
            file += row[static_cast<std::size_t>(column)].toLatin1();
        }
        file += "\r\n";
    }
    return file;
}

namespace {

// A field as the list stores it: the bytes before its first NUL, one character each.
QString TextOf(const QByteArray& field)
{
    const qsizetype nul = field.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? field : field.left(nul));
}

} // namespace

void PoiFileReader::SetText(int column, const QByteArray& field)
{
    if (column < kPoiColumns && m_line < m_rows.size())
        m_rows[m_line][static_cast<std::size_t>(column)] = TextOf(field);
}

void PoiFileReader::Feed(QByteArrayView bytes)
{
    for (const char byte : bytes) {
        switch (byte) {
        case ',':
            if (m_column == 0) {
                // A row asked for past the end of the list is appended, so it goes last
                // even when the line counter has run ahead of the rows.
                m_rows.emplace_back();
                m_rows.back()[0] = TextOf(m_field);
            } else {
                SetText(m_column, m_field);
            }
            if (m_column < kPoiColumns) // further fields are dropped anyway
                ++m_column;
            m_field.clear();
            break;
        case '\r':
            break;
        case '\n':
            SetText(m_column, m_field);
            m_field.clear();
            m_column = 0;
            ++m_line;
            break;
        default:
            m_field += byte;
        }
    }
}

void PoiFileReader::Finish()
{
    if (!m_field.isEmpty())
        Feed("\n");
}

std::vector<PoiRow> ReadPoiFile(QByteArrayView bytes)
{
    PoiFileReader reader;
    reader.Feed(bytes);
    reader.Finish();
    return reader.Rows();
}
