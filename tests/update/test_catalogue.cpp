// The version catalogue and the private-profile reader under it.

#include "platform/MessageBoxRecorder.h"
#include "platform/PrivateProfile.h"
#include "update/VersionCatalogue.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// "[DB]\nDB_NUM=n\nDB_FNAME00=000000_00\n..." with count names, the file's sections otherwise
// complete so that later sections show whether reading went on.
QByteArray Catalogue(const QByteArray& dbSection)
{
    return "[FW]\nVER_NUM=8012\n" + dbSection +
           "[VOICE]\nVOICE_NUM=1\nVOICE_FNAME00=090101_ENGLISH\n"
           "[IMAGE]\nIMAGE_NUM=1\nIMAGE_FNAME00=090101_ENGLISH\n"
           "[LAGNUAGE]\nLANGUAGE_NUM=1\nLANGUAGE_00_VO=090101_ENGLISH\n"
           "LANGUAGE_00_IMG=090101_FRENCH\n";
}

QByteArray DbSection(const QByteArray& countLine, int names)
{
    QByteArray text = "[DB]\n" + countLine;
    for (int i = 0; i < names; ++i)
        text += QString::asprintf("DB_FNAME%02d=0900%02d_AREA\n", i, i).toLatin1();
    return text;
}

int NamesFilled(const VersionCatalogue::Names& names)
{
    return static_cast<int>(
        std::count_if(names.begin(), names.end(), [](const QString& n) { return !n.isEmpty(); }));
}

} // namespace

class TestCatalogue final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dbCount_data();
    void dbCount();
    void tooManyStopsReading_data();
    void tooManyStopsReading();
    void missingFileChangesNothing();
    void readsWorkingDirectory();
    void languageSectionSpelling_data();
    void languageSectionSpelling();
    void profileValues_data();
    void profileValues();
    void firstMatchWins();
    void sampleCatalogueIsValid();

private:
    // Writes text as the catalogue file and reads it into m_catalogue.
    bool ReadText(const QByteArray& text);

    QTemporaryDir m_dir;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    VersionCatalogue m_catalogue;
};

void TestCatalogue::init()
{
    m_boxes = std::make_unique<platform::MessageBoxRecorder>();
    m_catalogue = VersionCatalogue{};
}

void TestCatalogue::cleanup()
{
    m_boxes.reset();
}

bool TestCatalogue::ReadText(const QByteArray& text)
{
    const QString path = m_dir.filePath(QStringLiteral("Tavo_VersionInfo.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the catalogue");
    file.write(text);
    file.close();
    return ReadVersionCatalogue(m_catalogue, path);
}

void TestCatalogue::dbCount_data()
{
    QTest::addColumn<QByteArray>("db");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("namesRead");
    QTest::addColumn<QStringList>("boxes");

    QTest::newRow("50 reads 00 to 49")
        << DbSection("DB_NUM=50\n", 50) << true << u"50"_s << 50 << QStringList{};
    QTest::newRow("51 reads none and stops")
        << DbSection("DB_NUM=51\n", 51) << false << u"51"_s << 0 << QStringList{u"Error[1001]"_s};
    QTest::newRow("2 of 3 keys") << DbSection("DB_NUM=2\n", 3) << true << u"2"_s << 2
                                 << QStringList{};
    QTest::newRow("count missing") << DbSection("", 3) << true << QString() << 0 << QStringList{};
    QTest::newRow("0") << DbSection("DB_NUM=0\n", 3) << true << u"0"_s << 0 << QStringList{};
    QTest::newRow("negative") << DbSection("DB_NUM=-2\n", 3) << true << u"-2"_s << 0
                              << QStringList{};
    QTest::newRow("not a number") << DbSection("DB_NUM=two\n", 3) << true << u"two"_s << 0
                                  << QStringList{};
    QTest::newRow("too many digits is still too many")
        << DbSection("DB_NUM=4294967297\n", 3) << false << u"4294967297"_s << 0
        << QStringList{u"Error[1001]"_s};
    QTest::newRow("digits then text")
        << DbSection("DB_NUM=2 files\n", 3) << true << u"2 files"_s << 2 << QStringList{};
}

void TestCatalogue::dbCount()
{
    QFETCH(QByteArray, db);
    QFETCH(bool, result);
    QFETCH(QString, count);
    QFETCH(int, namesRead);
    QFETCH(QStringList, boxes);

    QCOMPARE(ReadText(Catalogue(db)), result);
    QCOMPARE(m_catalogue.fwVersion, u"8012"_s);
    QCOMPARE(m_catalogue.dbCount, count);
    QCOMPARE(NamesFilled(m_catalogue.dbNames), namesRead);
    if (namesRead > 0)
        QCOMPARE(m_catalogue.dbNames[namesRead - 1],
                 QString::asprintf("0900%02d_AREA", namesRead - 1));
    QCOMPARE(m_boxes->texts(), boxes);
    // A usable count lets the reading go on with the next section.
    QCOMPARE(m_catalogue.voiceCount, result ? u"1"_s : QString());
}

void TestCatalogue::tooManyStopsReading_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("sectionsRead"); // of DB, voice, image, language, in that order

    const QByteArray fw = "[FW]\nVER_NUM=8012\n";
    const QByteArray db = "[DB]\nDB_NUM=1\nDB_FNAME00=090115_EUROPE\n";
    const QByteArray voice = "[VOICE]\nVOICE_NUM=1\nVOICE_FNAME00=090101_ENGLISH\n";
    const QByteArray image = "[IMAGE]\nIMAGE_NUM=1\nIMAGE_FNAME00=090101_ENGLISH\n";
    const QByteArray language = "[LAGNUAGE]\nLANGUAGE_NUM=1\nLANGUAGE_00_VO=x\n";

    QTest::newRow("voice") << fw + db + "[VOICE]\nVOICE_NUM=51\nVOICE_FNAME00=a\n" + image +
                                  language
                           << u"Error[1002]"_s << 1;
    QTest::newRow("image") << fw + db + voice + "[IMAGE]\nIMAGE_NUM=99\nIMAGE_FNAME00=a\n" +
                                  language
                           << u"Error[1003]"_s << 2;
    QTest::newRow("language") << fw + db + voice + image +
                                     "[LAGNUAGE]\nLANGUAGE_NUM=51\nLANGUAGE_00_VO=a\n"
                              << u"Error[1004]"_s << 3;
}

void TestCatalogue::tooManyStopsReading()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, box);
    QFETCH(int, sectionsRead);

    QVERIFY(!ReadText(text));
    QCOMPARE(m_boxes->texts(), QStringList{box});
    // Everything before the failing count stays, the count itself is kept, nothing after.
    const QStringList counts{m_catalogue.dbCount, m_catalogue.voiceCount, m_catalogue.imageCount,
                             m_catalogue.languageCount};
    const std::array<const VersionCatalogue::Names*, 4> names{
        &m_catalogue.dbNames, &m_catalogue.voiceNames, &m_catalogue.imageNames,
        &m_catalogue.languageVoiceNames};
    for (int s = 0; s < 4; ++s) {
        QCOMPARE(NamesFilled(*names[s]), s < sectionsRead ? 1 : 0);
        QCOMPARE(counts[s].isEmpty(), s > sectionsRead);
    }
    QCOMPARE(ToCount(counts[sectionsRead]), box == u"Error[1003]"_s ? 99 : 51);
}

void TestCatalogue::missingFileChangesNothing()
{
    m_catalogue.fwVersion = u"0101"_s;
    m_catalogue.dbNames[0] = u"kept"_s;
    QVERIFY(!ReadVersionCatalogue(m_catalogue, m_dir.filePath(u"absent.txt"_s)));
    QCOMPARE(m_catalogue.fwVersion, u"0101"_s);
    QCOMPARE(m_catalogue.dbNames[0], u"kept"_s);
    QCOMPARE(m_boxes->texts(), QStringList{});
}

void TestCatalogue::readsWorkingDirectory()
{
    const QString previous = QDir::currentPath();
    QTemporaryDir workDir;
    QFile file(workDir.filePath(u"Tavo_VersionInfo.txt"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[FW]\r\nVER_NUM=0102\r\n");
    file.close();

    QVERIFY(QDir::setCurrent(workDir.path()));
    const bool read = ReadVersionCatalogue(m_catalogue);
    QDir::setCurrent(previous);
    QVERIFY(read);
    QCOMPARE(m_catalogue.fwVersion, u"0102"_s);

    QVERIFY(!ReadVersionCatalogue(m_catalogue)); // back where there is none
}

void TestCatalogue::languageSectionSpelling_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("count");
    QTest::newRow("LAGNUAGE") << QByteArray("[LAGNUAGE]") << 2;
    QTest::newRow("lagnuage") << QByteArray("[lagnuage]") << 2;
    QTest::newRow("LANGUAGE") << QByteArray("[LANGUAGE]") << 0;
}

void TestCatalogue::languageSectionSpelling()
{
    QFETCH(QByteArray, header);
    QFETCH(int, count);
    QVERIFY(ReadText(header + "\nLANGUAGE_NUM=2\nLANGUAGE_00_VO=v0\nLANGUAGE_00_IMG=i0\n"
                              "LANGUAGE_01_VO=v1\nLANGUAGE_01_IMG=i1\n"));
    QCOMPARE(ToCount(m_catalogue.languageCount), count);
    QCOMPARE(NamesFilled(m_catalogue.languageVoiceNames), count);
    QCOMPARE(NamesFilled(m_catalogue.languageImageNames), count);
    if (count == 2) {
        QCOMPARE(m_catalogue.languageVoiceNames[1], u"v1"_s);
        QCOMPARE(m_catalogue.languageImageNames[1], u"i1"_s);
    }
}

void TestCatalogue::profileValues_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("expected");

    const QByteArray long200(200, 'a');
    QTest::newRow("200 characters") << "DB_FNAME00=" + long200 << QString(127, u'a');
    QTest::newRow("127 characters") << "DB_FNAME00=" + QByteArray(127, 'b') << QString(127, u'b');
    QTest::newRow("quoted 200") << "DB_FNAME00=\"" + long200 + "\"" << QString(127, u'a');
    QTest::newRow("mixed-case key") << QByteArray("Db_FName00=090115_EUROPE") << u"090115_EUROPE"_s;
    QTest::newRow("blanks") << QByteArray(" \tDB_FNAME00 \t=  090115 EUROPE \t")
                            << u"090115 EUROPE"_s;
    QTest::newRow("double quotes")
        << QByteArray("DB_FNAME00= \"090115_EUROPE\" ") << u"090115_EUROPE"_s;
    QTest::newRow("single quotes") << QByteArray("DB_FNAME00='a b'") << u"a b"_s;
    QTest::newRow("one pair only") << QByteArray("DB_FNAME00=\"\"x\"\"") << u"\"x\""_s;
    QTest::newRow("unmatched quote") << QByteArray("DB_FNAME00=\"abc") << u"\"abc"_s;
    QTest::newRow("mixed quotes") << QByteArray("DB_FNAME00=\"abc'") << u"\"abc'"_s;
    QTest::newRow("lone quote") << QByteArray("DB_FNAME00=\"") << u"\""_s;
    QTest::newRow("commas and backslashes") << QByteArray("DB_FNAME00=a,b\\c;d") << u"a,b\\c;d"_s;
    QTest::newRow("second equals sign") << QByteArray("DB_FNAME00=a=b") << u"a=b"_s;
    QTest::newRow("empty value") << QByteArray("DB_FNAME00=") << QString();
    QTest::newRow("no equals sign") << QByteArray("DB_FNAME00") << QString();
    QTest::newRow("commented out") << QByteArray(";DB_FNAME00=x") << QString();
}

void TestCatalogue::profileValues()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, expected);
    QVERIFY(ReadText("[FW]\nVER_NUM=1\n\n [ db ] \r\nDB_NUM=1\r\n" + line + "\r\n"));
    QCOMPARE(m_catalogue.dbNames[0], expected);
}

void TestCatalogue::firstMatchWins()
{
    const platform::PrivateProfile profile = platform::PrivateProfile::FromText(
        "\xEF\xBB\xBF"
        "ORPHAN=before any section\n"
        "[DB]\nDB_NUM=2\ndb_num=3\n"
        "[VOICE]\nVOICE_NUM=4\n"
        "[Db]\nDB_NUM=9\nDB_FNAME00=only in the second DB section\n");
    QCOMPARE(profile.value(u"db"_s, u"DB_NUM"_s), u"2"_s);
    QCOMPARE(profile.value(u"DB"_s, u"DB_FNAME00"_s, u"default"_s), u"default"_s);
    QCOMPARE(profile.value(u"VOICE"_s, u"VOICE_NUM"_s), u"4"_s);
    QCOMPARE(profile.value(QString(), u"ORPHAN"_s, u" none "_s), u" none"_s);
    QCOMPARE(profile.value(u"IMAGE"_s, u"IMAGE_NUM"_s), QString());
    QCOMPARE(profile.value(u"DB"_s, u"DB_NUM"_s, {}, 1), QString());
    QCOMPARE(platform::GetPrivateProfileString(u"DB"_s, u"DB_NUM"_s, u"7"_s,
                                               m_dir.filePath(u"absent.txt"_s)),
             u"7"_s);
}

void TestCatalogue::sampleCatalogueIsValid()
{
    QVERIFY(ReadVersionCatalogue(m_catalogue,
                                 QStringLiteral(TAVO_SOURCE_DIR "/res/Tavo_VersionInfo.txt")));
    QCOMPARE(m_boxes->texts(), QStringList{});
    QCOMPARE(m_catalogue.fwVersion.size(), 4);
    const std::array<std::pair<const QString*, const VersionCatalogue::Names*>, 3> lists{
        {{&m_catalogue.dbCount, &m_catalogue.dbNames},
         {&m_catalogue.voiceCount, &m_catalogue.voiceNames},
         {&m_catalogue.imageCount, &m_catalogue.imageNames}}};
    static const QRegularExpression versionPrefix(u"^\\d{6}"_s);
    for (const auto& [count, names] : lists) {
        QVERIFY(ToCount(*count) > 0);
        QCOMPARE(NamesFilled(*names), ToCount(*count));
        for (int i = 0; i < ToCount(*count); ++i)
            QVERIFY2(versionPrefix.match((*names)[i]).hasMatch(), qPrintable((*names)[i]));
    }
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "test_catalogue.moc"
