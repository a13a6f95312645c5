#pragma once

#include "device/PoiRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

// The POI text file (default name "Poi.txt"): one line per row, the six texts of the row
// separated by commas, no header, no quoting. Texts are bytes: each byte is one Latin-1
// character of the row, so any file comes back byte for byte when saved again. Pure code.

// The file Save writes: "%s,%s,%s,%s,%s,%s" of each row, each line ended by CR LF.
QByteArray PoiFileOf(const std::vector<PoiRow>& rows);

// Reads a POI file byte by byte, the way Load builds the list:
//  - "," ends a field: the first field of a line appends a new row (its number text), later
//    ones set the next column of the row the line counter points at;
//  - LF ends the line: its last field goes to the current column, and the line counter moves
//    on whether the line made a row or not;
//  - CR is ignored; every other byte, NUL included, belongs to the field.
// A field aimed at a column past the sixth, or at a row the list does not hold (after a line
// without a comma the counter runs ahead of the rows), is dropped, as the list drops it. A
// text keeps the bytes before its first NUL, as the list stores it.
class PoiFileReader
{
public:
    // Reads the next bytes of the file.
    void Feed(QByteArrayView bytes);
    // The end of the file: a pending field counts as if a line feed followed.
    void Finish();
    // The rows read so far.
    const std::vector<PoiRow>& Rows() const { return m_rows; }

private:
    void SetText(int column, const QByteArray& field);

    std::vector<PoiRow> m_rows;
    QByteArray m_field;
    int m_column = 0;
    std::size_t m_line = 0;
};

// The rows of a whole file.
std::vector<PoiRow> ReadPoiFile(QByteArrayView bytes);
