// The version catalogue and the private-profile reader under it.

#include "UpdateTestKit.h"
#include "platform/MessageBoxRecorder.h"
#include "update/VersionCatalogue.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kDb = "[DB]\nDB_NUM=1\nDB_FNAME00=090115_EUROPE\n";
const QByteArray kVoice = "[VOICE]\nVOICE_NUM=1\nVOICE_FNAME00=090101_ENGLISH\n";
const QByteArray kImage = "[IMAGE]\nIMAGE_NUM=1\nIMAGE_FNAME00=090101_ENGLISH\n";
const QByteArray kLanguage = "[LAGNUAGE]\nLANGUAGE_NUM=1\nLANGUAGE_00_VO=v\nLANGUAGE_00_IMG=i\n";

QByteArray Catalogue(const QByteArray& db = kDb, const QByteArray& voice = kVoice,
                     const QByteArray& image = kImage, const QByteArray& language = kLanguage)
{
    return "[FW]\nVER_NUM=8012\n" + db + voice + image + language;
}

// A DB section with countLine and the keys DB_FNAME00 to names - 1.
QByteArray Db(const QByteArray& countLine, int names)
{
    QByteArray text = "[DB]\n" + countLine;
    for (int i = 0; i < names; ++i)
        text += QString::asprintf("DB_FNAME%02d=0900%02d_AREA\n", i, i).toLatin1();
    return text;
}

// "fw | db count:names read | voice ... | image ... | language count:voices/images".
QString Summary(const VersionCatalogue& c)
{
    const auto read = [](const VersionCatalogue::Names& names) {
        return QByteArray::number(std::count_if(names.begin(), names.end(),
                                                [](const QByteArray& n) { return !n.isEmpty(); }));
    };
    return QString::fromLatin1(QByteArrayList{
        c.fwVersion, c.dbCount + ':' + read(c.dbNames), c.voiceCount + ':' + read(c.voiceNames),
        c.imageCount + ':' + read(c.imageNames),
        c.languageCount + ':' + read(c.languageVoiceNames) + '/' + read(c.languageImageNames)}
                                   .join(" | "));
}

} // namespace

class TestCatalogue final : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_boxes = std::make_unique<platform::MessageBoxRecorder>(); }
    void cleanup() { m_boxes.reset(); }

    void counts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("box"); // the reading fails with it
        QTest::addColumn<QString>("summary");
        const QString ok;
        QTest::newRow("DB_NUM 50")
            << Catalogue(Db("DB_NUM=50\n", 50)) << ok << u"8012 | 50:50 | 1:1 | 1:1 | 1:1/1"_s;
        // A count too large stops the reading: the count is kept, no name, no later section.
        QTest::newRow("DB_NUM 51") << Catalogue(Db("DB_NUM=51\n", 51)) << u"Error[1001]"_s
                                   << u"8012 | 51:0 | :0 | :0 | :0/0"_s;
        QTest::newRow("DB_NUM 2, three keys")
            << Catalogue(Db("DB_NUM=2\n", 3)) << ok << u"8012 | 2:2 | 1:1 | 1:1 | 1:1/1"_s;
        QTest::newRow("DB_NUM missing")
            << Catalogue(Db("", 3)) << ok << u"8012 | :0 | 1:1 | 1:1 | 1:1/1"_s;
        QTest::newRow("CR line ends")
            << Catalogue().replace('\n', '\r') << ok << u"8012 | 1:1 | 1:1 | 1:1 | 1:1/1"_s;
        QTest::newRow("negative") << Catalogue(Db("DB_NUM=-2\n", 3)) << ok
                                  << u"8012 | -2:0 | 1:1 | 1:1 | 1:1/1"_s;
        QTest::newRow("digits, then text") << Catalogue(Db("DB_NUM=2 files\n", 3)) << ok
                                           << u"8012 | 2 files:2 | 1:1 | 1:1 | 1:1/1"_s;
        QTest::newRow("too many digits is still too many")
            << Catalogue(Db("DB_NUM=4294967297\n", 3)) << u"Error[1001]"_s
            << u"8012 | 4294967297:0 | :0 | :0 | :0/0"_s;
        QTest::newRow("VOICE_NUM 51") << Catalogue(kDb, "[VOICE]\nVOICE_NUM=51\nVOICE_FNAME00=a\n")
                                      << u"Error[1002]"_s << u"8012 | 1:1 | 51:0 | :0 | :0/0"_s;
        QTest::newRow("IMAGE_NUM 99")
            << Catalogue(kDb, kVoice, "[IMAGE]\nIMAGE_NUM=99\nIMAGE_FNAME00=a\n")
            << u"Error[1003]"_s << u"8012 | 1:1 | 1:1 | 99:0 | :0/0"_s;
        QTest::newRow("LANGUAGE_NUM 51")
            << Catalogue(kDb, kVoice, kImage, "[LAGNUAGE]\nLANGUAGE_NUM=51\nLANGUAGE_00_VO=a\n")
            << u"Error[1004]"_s << u"8012 | 1:1 | 1:1 | 1:1 | 51:0/0"_s;
        // The language section is read under its misspelt name only, in any case.
        QTest::newRow("section lagnuage")
            << Catalogue(kDb, kVoice, kImage, "[lagnuage]\nLANGUAGE_NUM=1\nLANGUAGE_00_VO=v\n")
            << ok << u"8012 | 1:1 | 1:1 | 1:1 | 1:1/0"_s;
        QTest::newRow("section LANGUAGE")
            << Catalogue(kDb, kVoice, kImage, QByteArray(kLanguage).replace("LAGNUAGE", "LANGUAGE"))
            << ok << u"8012 | 1:1 | 1:1 | 1:1 | :0/0"_s;
    }
    void counts()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, box);
        QFETCH(QString, summary);
        VersionCatalogue catalogue;
        QCOMPARE(Read(text, catalogue), box.isEmpty());
        QCOMPARE(m_boxes->texts().join(u' '), box);
        QCOMPARE(Summary(catalogue), summary);
    }

    void values_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");
        // A value is cut at 127: the limit counts bytes, and the bytes are the file's, whatever
        // their encoding.
        const QByteArray e100 = "\xC3\xA9"_ba.repeated(100);
        QTest::newRow("200 bytes of UTF-8") << "DB_FNAME00=" + e100 << e100.left(127);
        QTest::newRow("bytes of no encoding") << "DB_FNAME00=090115_\xE9t\xE9 \xFF"_ba
                                              << "090115_\xE9t\xE9 \xFF"_ba;
        QTest::newRow("blanks") << " \tDB_FNAME00 \t=  090115 EUROPE \t"_ba
                                << "090115 EUROPE"_ba;
        QTest::newRow("single quotes") << "DB_FNAME00='a b'"_ba
                                       << "a b"_ba;
        QTest::newRow("commas, backslashes, equals signs") << "DB_FNAME00=a,b\\c;d=e"_ba
                                                           << "a,b\\c;d=e"_ba;
        QTest::newRow("one pair only") << "DB_FNAME00=\"\"x\"\""_ba
                                       << "\"x\""_ba;
        QTest::newRow("unmatched quote") << "DB_FNAME00=\"abc'"_ba
                                         << "\"abc'"_ba;
        QTest::newRow("no equals sign") << "DB_FNAME00"_ba << QByteArray();
        QTest::newRow("commented out") << ";DB_FNAME00=x"_ba << QByteArray();
        QTest::newRow("first key wins") << "db_fname00=1\nDB_FNAME00=2"_ba
                                        << "1"_ba;
        QTest::newRow("first section wins")
            << "\n[Db]\nDB_FNAME00=in the second section"_ba << QByteArray();
    }
    void values()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, expected);
        VersionCatalogue catalogue;
        // The byte-order mark is not part of the first section's name.
        QVERIFY(Read("\xEF\xBB\xBF[FW]\nVER_NUM=1\n\n [ db ] \r\nDB_NUM=1\r\n" + line + "\r\n",
                     catalogue));
        QCOMPARE(catalogue.fwVersion, QByteArray("1"));
        QCOMPARE(catalogue.dbNames[0], expected);
    }

    void sampleCatalogueIsValid()
    {
        VersionCatalogue c;
        QVERIFY(
            ReadVersionCatalogue(c, QStringLiteral(TAVO_SOURCE_DIR "/res/Tavo_VersionInfo.txt")));
        QCOMPARE(m_boxes->texts(), QStringList{});
        QCOMPARE(c.fwVersion.size(), 4);
        static const QRegularExpression versioned(u"^\\d{6}"_s);
        for (const auto& [count, names] : {std::pair{c.dbCount, &c.dbNames},
                                           {c.voiceCount, &c.voiceNames},
                                           {c.imageCount, &c.imageNames}}) {
            QVERIFY(ToCount(count) > 0);
            for (int i = 0; i < VersionCatalogue::kMaxEntries; ++i)
                QCOMPARE(versioned.match(QString::fromLatin1((*names)[i])).hasMatch(),
                         i < ToCount(count));
        }
        // A file that has gone changes nothing (reading from the working folder is the wizard's).
        const QString before = Summary(c);
        QVERIFY(!ReadVersionCatalogue(c, m_dir.filePath(u"gone.txt"_s)));
        QCOMPARE(Summary(c), before);
    }

private:
    // Writes text as the catalogue file and reads it into catalogue.
    bool Read(const QByteArray& text, VersionCatalogue& catalogue)
    {
        const QString path = m_dir.filePath(u"Tavo_VersionInfo.txt"_s);
        if (!updatetest::WriteFile(path, text))
            qFatal("cannot write the catalogue");
        return ReadVersionCatalogue(catalogue, path);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "test_catalogue.moc"
