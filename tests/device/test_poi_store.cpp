// The POI record codec and the POI file reader: pure functions, bytes in, rows out.

#include "device/PoiFile.h"
#include "device/PoiRecord.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QString Joined(const PoiRow& row)
{
    return QStringList(row.begin(), row.end()).join(u'|');
}

QStringList Joined(const std::vector<PoiRow>& rows)
{
    QStringList lines;
    for (const PoiRow& row : rows)
        lines << Joined(row);
    return lines;
}

} // namespace

class TestPoiStore final : public QObject
{
    Q_OBJECT

private slots:
    // Texts of a row as Update POI turns them into record bytes; the record shown as
    // "angle latitude longitude day/month/year hour:minute".
    void recordFromRow_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("record");
        QTest::newRow("as View shows it") << "1|2008/05/21|12:34|-0.1234|48.8566|359"
                                          << "359 -1234 488566 21/5/8 12:34";
        QTest::newRow("fewer decimals shift the point") << "1|2008/05/21|12:34|48.85|-.5|0"
                                                        << "0 4885 -5 21/5/8 12:34";
        QTest::newRow("year modulo 256, low bits of the rest") << "1| 1999-1-5 |-1:-2|x|+7|70000"
                                                               << "4464 0 7 251/255/255 255:254";
        QTest::newRow("32-bit limits") << "1|||99999999999|-99999999999|-1"
                                       << "65535 2147483647 -2147483648 0/0/48 0:0";
    }
    void recordFromRow()
    {
        QFETCH(QString, row);
        QFETCH(QString, record);
        const QStringList texts = row.split(u'|');
        PoiRow poiRow;
        std::copy(texts.begin(), texts.end(), poiRow.begin());
        const auto bytes = PoiRecordOf(poiRow).Encode();
        const PoiRecord r = PoiRecord::Decode(bytes.data());
        QCOMPARE(r.marker, kPoiInUse);
        QCOMPARE(u"%1 %2 %3 %4/%5/%6 %7:%8"_s.arg(r.angle)
                     .arg(r.latitude)
                     .arg(r.longitude)
                     .arg(r.day)
                     .arg(r.month)
                     .arg(r.year)
                     .arg(r.hour)
                     .arg(r.minute),
                 record);
    }

    void rowFromBytes()
    {
        // Little-endian fields at their offsets: angle 65535, latitude -1234, longitude
        // 1234567, 21/05/08 09:05.
        const QByteArray bytes = QByteArray::fromHex("a5ffff2efbffff87d612001505080905");
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        QCOMPARE(Joined(PoiRowOf(PoiRecord::Decode(data), 1)),
                 u"1|2008/05/21|09:05|-0.1234|123.4567|65535"_s);
        QCOMPARE(
            QByteArray(reinterpret_cast<const char*>(PoiRecord::Decode(data).Encode().data()), 16),
            bytes);
    }

    void readFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("last line without a line break")
            << "1,a,b,c,d,e\r\n2,f,g,h,i,j"_ba << QStringList{u"1|a|b|c|d|e"_s, u"2|f|g|h|i|j"_s};
        QTest::newRow("numbers kept, CR anywhere, LF alone")
            << "7,x\r\n3,\ry\n9,z\n"_ba << QStringList{u"7|x||||"_s, u"3|y||||"_s, u"9|z||||"_s};
        QTest::newRow("fields past the sixth dropped")
            << "1,2,3,4,5,6,7,8\n"_ba << QStringList{u"1|2|3|4|5|6"_s};
        QTest::newRow("a line without a comma leaves later rows their first field only")
            << "x\n1,a\n2,b\n"_ba << QStringList{u"1|||||"_s, u"2|||||"_s};
        QTest::newRow("NUL ends a text, bytes stay Latin-1")
            << QByteArray("1,a\0b,\xe9\n", 8) << QStringList{u"1|a|\u00e9|||"_s};
        QTest::newRow("empty file") << QByteArray() << QStringList();
    }
    void readFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, rows);
        const std::vector<PoiRow> read = ReadPoiFile(file);
        QCOMPARE(Joined(read), rows);
        // What Save writes reads back the same.
        QCOMPARE(ReadPoiFile(PoiFileOf(read)), read);
    }

    // The reader takes any bytes; the sanitizer build runs these too.
    void readAnyBytes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QByteArray random(1 << 20, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);
        QTest::newRow("1 MB of random bytes") << random;
        QTest::newRow("1 MB without a line break") << QByteArray(1 << 20, 'x') + ",y";
        QTest::newRow("1 MB of NUL bytes and commas") << QByteArray(1 << 20, '\0') + ",\0,"_ba;
    }
    void readAnyBytes()
    {
        QFETCH(QByteArray, file);
        const std::vector<PoiRow> rows = ReadPoiFile(file);
        QVERIFY(rows.size() <= static_cast<std::size_t>(file.count(',')));
        for (const PoiRow& row : rows)
            for (const QString& text : row)
                QVERIFY(!text.contains(QChar(0)) && !text.contains(u'\n'));
    }
};

QTEST_GUILESS_MAIN(TestPoiStore)
#include "test_poi_store.moc"
