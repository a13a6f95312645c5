// The UI text catalogue: the header, the loader's line rules, the "/" lists and the text
// conversion, on files written into a temporary working directory.
#include "app/TavoApp.h"
#include "app/TextConvert.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

namespace {

// One section of 150 texts "<prefix>0" ... "<prefix>149".
QByteArray Section(int language, const QByteArray& prefix)
{
    QByteArray text = QString::asprintf("[Lang%03d]\n", language).toLatin1();
    for (int i = 0; i < CTavoApp::kTextCount; ++i)
        text += QString::asprintf("ID%03d=", i).toLatin1() + prefix + QByteArray::number(i) + '\n';
    return text;
}

QString Text(const CTavoApp& app, int n)
{
    return app.m_strText[static_cast<std::size_t>(n)];
}

} // namespace

class TestUIText final : public QObject
{
    Q_OBJECT

private:
    std::optional<QTemporaryDir> m_dir;
    std::unique_ptr<CTavoApp> m_app;

    void WriteFile(const QByteArray& content)
    {
        QFile file(m_dir->filePath(QStringLiteral("Tavo_UIText.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

private slots:
    void init()
    {
        m_dir.emplace();
        QVERIFY(m_dir->isValid());
        m_app = std::make_unique<CTavoApp>();
        m_app->m_strCurDir = m_dir->path();
    }

    void shippedFileHasBothLanguagesComplete()
    {
        m_app->m_strCurDir = QStringLiteral(TAVO_RES_DIR);
        QVERIFY(m_app->LoadUIHeader());
        QCOMPARE(m_app->m_strLangItem, QByteArray("English/Fran\xc3\xa7"
                                                  "ais"));
        QVERIFY(m_app->LoadUIText(0));
        const std::array<QString, CTavoApp::kTextCount> english = m_app->m_strText;
        QVERIFY(m_app->LoadUIText(1));
        QCOMPARE(Text(*m_app, 0), QStringLiteral("Connexion"));
        QCOMPARE(Text(*m_app, 1), QStringLiteral("Langue :"));
        // French has a text exactly where English has one.
        for (int n = 0; n < CTavoApp::kTextCount; ++n) {
            const auto i = static_cast<std::size_t>(n);
            QVERIFY2(english[i].isEmpty() == m_app->m_strText[i].isEmpty(),
                     qPrintable(QString::number(n)));
        }
        // Every text a page shows or a message box says is there.
        for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 13, 27, 37, 55, 108, 109, 114, 115, 116, 126, 147})
            QVERIFY2(!english[static_cast<std::size_t>(n)].trimmed().isEmpty(),
                     qPrintable(QString::number(n)));
    }

    // The English texts are the system's own wordings, spelling, blanks and all.
    void shippedEnglishWordings_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("text");

        QTest::newRow("0 tab") << 0 << "Connection";
        QTest::newRow("7 tab") << 7 << "Update";
        QTest::newRow("55 tab") << 55 << "Setup";
        QTest::newRow("109 tab") << 109 << "POI";
        QTest::newRow("116 tab") << 116 << "Diagnosis";
        QTest::newRow("126 tab") << 126 << "Reset";
        QTest::newRow("10 misspelt") << 10 << "Manual Upadate";
        QTest::newRow("12 trailing blank") << 12 << "DB Ver - ";
        QTest::newRow("23 download failed") << 23 << "Error : DB downloading is failed...";
        QTest::newRow("32 misspelt") << 32 << "Programing DB...";
        QTest::newRow("36 leading blank") << 36 << " [Version is good]";
        QTest::newRow("38 areas") << 38 << "EUROPE/FRANCE/CHINA/UNKNOWN";
        QTest::newRow("39 voices") << 39 << "ENGLISH-voice/FRENCH-woman voice/UNKNOWN";
        QTest::newRow("40 misspelt") << 40 << "ENGHISH-image/FRENCH-image/UNKNOWN";
        QTest::newRow("104") << 104 << "No(Deactive)";
        QTest::newRow("114 columns") << 114 << "Del/Date/Time/Latitude/Longitude/Angle";
        QTest::newRow("118 separator") << 118 << "Sound - ";
        QTest::newRow("124") << 124 << "Check data error.";
        QTest::newRow("125") << 125 << "Please, wait a moment(It will be take several minutes.)";
        QTest::newRow("133 no blank")
            << 133
            << "3. Connect the USB cable to your computer(and do not connect it to your GPS unit).";
        QTest::newRow("136 quotes")
            << 136 << "6. Once \"Update\" button's being activated, release the POI button.";
        QTest::newRow("140 no full stop")
            << 140
            << "4. Connect the USB cable to your computer (and do not connect it to your GPS unit)";
    }

    void shippedEnglishWordings()
    {
        QFETCH(int, n);
        QFETCH(QString, text);
        m_app->m_strCurDir = QStringLiteral(TAVO_RES_DIR);
        QVERIFY(m_app->LoadUIText(0));
        QCOMPARE(Text(*m_app, n), text);
    }

    void header_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("langItem");

        QTest::newRow("anywhere in the file, last one wins")
            << QByteArray("[Lang000]\nLang_Item=A/B\nID000=x\nLang_Item=C/D/E\n")
            << QByteArray("C/D/E");
        QTest::newRow("no equals sign gives the whole line")
            << QByteArray("Lang_Item English\n") << QByteArray("Lang_Item English");
        QTest::newRow("matched on nine characters")
            << QByteArray("Lang_Items=X/Y\n") << QByteArray("X/Y");
        QTest::newRow("byte-order mark hides a first-line key")
            << QByteArray("\xef\xbb\xbfLang_Item=English\n") << QByteArray();
        QTest::newRow("CRLF line ends") << QByteArray("Lang_Item=A/B\r\n") << QByteArray("A/B");
    }

    void header()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, langItem);
        WriteFile(content);
        QVERIFY(m_app->LoadUIHeader());
        QCOMPARE(m_app->m_strLangItem, langItem);
    }

    void headerMissingFile()
    {
        m_app->m_strLangItem = "kept";
        QVERIFY(!m_app->LoadUIHeader());
        QCOMPARE(m_app->m_strLangItem, QByteArray("kept"));
    }

    void loader_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("complete");
        // Number of texts replaced from the start; the others keep "old<n>".
        QTest::addColumn<int>("replaced");
        QTest::addColumn<QString>("newPrefix");

        const QByteArray english = Section(0, "en");
        const QByteArray french = Section(1, "fr");

        QTest::newRow("all 150") << (english + french) << 0 << true << 150 << "en";
        QTest::newRow("blank line after ID010")
            << QByteArray(english).replace("ID010=en10\n", "ID010=en10\n\n") << 0 << false << 11
            << "en";
        QTest::newRow("ID005 skipped")
            << (english + QByteArray(french).replace("ID005=fr5\n", "")) << 1 << false << 5 << "fr";
        QTest::newRow("key without equals sign")
            << QByteArray(english).replace("ID030=en30", "ID030 en30") << 0 << false << 30 << "en";
        QTest::newRow("file ends inside the section")
            << english.left(english.indexOf("ID100=")) << 0 << false << 100 << "en";
        QTest::newRow("no such section") << english << 1 << false << 0 << "en";
        QTest::newRow("head matched on nine characters")
            << QByteArray(english).replace("[Lang000]", "[Lang000] English") << 0 << true << 150
            << "en";
        QTest::newRow("byte-order mark hides a first-line head")
            << ("\xef\xbb\xbf" + english) << 0 << false << 0 << "en";
        QTest::newRow("language 1000 is not [Lang100]")
            << (english + Section(100, "hundred")) << 1000 << false << 0 << "en";
        QTest::newRow("no selection (-1)") << (english + french) << -1 << false << 0 << "en";
    }

    void loader()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, language);
        QFETCH(bool, complete);
        QFETCH(int, replaced);
        QFETCH(QString, newPrefix);

        WriteFile(content);
        for (int i = 0; i < CTavoApp::kTextCount; ++i)
            m_app->m_strText[static_cast<std::size_t>(i)] = QStringLiteral("old%1").arg(i);

        QCOMPARE(m_app->LoadUIText(language), complete);
        for (int i = 0; i < CTavoApp::kTextCount; ++i) {
            const QString expected =
                i < replaced ? newPrefix + QString::number(i) : QStringLiteral("old%1").arg(i);
            QCOMPARE(Text(*m_app, i), expected);
        }
    }

    void loaderValues_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("text");

        QTest::newRow("equals sign inside the value") << QByteArray("ID003=a=b") << "a=b";
        QTest::newRow("key matched on five characters") << QByteArray("ID0037=x") << "x";
        QTest::newRow("CRLF line end") << QByteArray("ID003=text\r") << "text";
        QTest::newRow("invalid UTF-8 becomes ?") << QByteArray("ID003=a\xff"
                                                               "b")
                                                 << "a?b";
    }

    void loaderValues()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, text);
        QByteArray section = Section(0, "t");
        section.replace("ID003=t3", line);
        WriteFile(section);
        QVERIFY(m_app->LoadUIText(0));
        QCOMPARE(Text(*m_app, 3), text);
        QCOMPARE(Text(*m_app, 4), QStringLiteral("t4"));
    }

    void loaderMissingFileChangesNothing()
    {
        m_app->m_strText[0] = QStringLiteral("before");
        QVERIFY(!m_app->LoadUIText(0));
        QCOMPARE(Text(*m_app, 0), QStringLiteral("before"));
    }

    void slashItem_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("item");

        const QString areas = QStringLiteral("EUROPE/FRANCE/CHINA");
        QTest::newRow("middle") << areas << 1 << "FRANCE";
        QTest::newRow("far past the end gives the last") << areas << 7 << "CHINA";
        QTest::newRow("empty item skipped") << QStringLiteral("a//b") << 1 << "b";
        QTest::newRow("leading and trailing slash") << QStringLiteral("/a/b/") << 0 << "a";
        QTest::newRow("empty list") << QString() << 0 << "";

        // The list is cut to the 1023 characters of the work buffer.
        const QString head = QString(1019, QLatin1Char('x'));
        QTest::newRow("item ending at character 1023")
            << (head + QStringLiteral("/abc/def")) << 1 << "abc";
        QTest::newRow("item cut at character 1023")
            << (head + QStringLiteral("/abcd/def")) << 1 << "abc";
    }

    void slashItem()
    {
        QFETCH(QString, list);
        QFETCH(int, n);
        QFETCH(QString, item);
        QCOMPARE(m_app->GetSlashItem(list, n), item);
    }

    void utf8ToAnsi_data()
    {
        QTest::addColumn<QByteArray>("utf8");
        QTest::addColumn<QString>("text");

        QTest::newRow("accents") << QByteArray("Mise \xc3\xa0 jour") << "Mise à jour";
        QTest::newRow("lone continuation byte") << QByteArray("a\x80z") << "a?z";
        QTest::newRow("sequence cut short at the end") << QByteArray("abc\xc3") << "abc?";
        QTest::newRow("Latin-1 byte, not UTF-8") << QByteArray("Fran\xe7"
                                                               "ais")
                                                 << "Fran?ais";
        QTest::newRow("written replacement character") << QByteArray("\xef\xbf\xbd") << "?";
    }

    void utf8ToAnsi()
    {
        QFETCH(QByteArray, utf8);
        QFETCH(QString, text);
        QCOMPARE(Utf8ToAnsi(utf8), text);
    }
};

QTEST_GUILESS_MAIN(TestUIText)
#include "test_uitext.moc"
