// The POI record codec and the POI file reader: pure functions, bytes in, rows out.

#include "device/PoiFile.h"
#include "device/PoiRecord.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestPoiStore final : public QObject
{
    Q_OBJECT

private slots:
    // Texts of a row as Update POI stores them: marker, angle, latitude, longitude, day, month,
    // year, hour, minute, little-endian.
    void recordFromRow_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("fewer decimals shift the point")
            << "1|2008/05/21|12:34|48.85|-.5|0"
            << "a5 0000 15130000 fbffffff 15 05 08 0c 22"_ba;
        QTest::newRow("year modulo 256, low bits of the rest")
            << "1| 1999-1-5 |-1:-2|x|+7|70000"
            << "a5 7011 00000000 07000000 fb ff ff ff fe"_ba;
        QTest::newRow("32-bit limits") << "1|||99999999999|-99999999999|-1"
                                       << "a5 ffff ffffff7f 00000080 00 00 30 00 00"_ba;
    }
    void recordFromRow()
    {
        QFETCH(QString, row);
        QFETCH(QByteArray, record);
        const QStringList texts = row.split(u'|');
        PoiRow poiRow;
        std::copy(texts.begin(), texts.end(), poiRow.begin());
        const auto bytes = PoiRecordOf(poiRow).Encode();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes.data()), 16).toHex(),
                 QByteArray::fromHex(record).toHex());
    }

    // Rows joined by '/', their texts by '|'.
    void readFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("rows");
        QTest::newRow("last line without a line break")
            << "1,a,b,c,d,e\r\n2,f,g,h,i,j"_ba << u"1|a|b|c|d|e/2|f|g|h|i|j"_s;
        QTest::newRow("numbers kept, CR anywhere, LF alone")
            << "7,x\r\n3,\ry\n9,z\n"_ba << u"7|x||||/3|y||||/9|z||||"_s;
        QTest::newRow("fields past the sixth dropped")
            << "1,2,3,4,5,6,7,8\n"_ba << u"1|2|3|4|5|6"_s;
        QTest::newRow("a line without a comma leaves later rows their first field only")
            << "x\n1,a\n2,b\n"_ba << u"1|||||/2|||||"_s;
        QTest::newRow("NUL ends a text, bytes stay Latin-1")
            << QByteArray("1,a\0b,\xe9\n", 8) << u"1|a|\u00e9|||"_s;
    }
    void readFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, rows);
        const std::vector<PoiRow> read = ReadPoiFile(file);
        QStringList lines;
        for (const PoiRow& row : read)
            lines << QStringList(row.begin(), row.end()).join(u'|');
        QCOMPARE(lines.join(u'/'), rows);
        QCOMPARE(ReadPoiFile(PoiFileOf(read)), read); // what Save writes reads back the same
    }
};

QTEST_GUILESS_MAIN(TestPoiStore)
#include "test_poi_store.moc"
