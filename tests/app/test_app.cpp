// The application object: the start-up with its profile and first-start language, and the UI
// text catalogue (the shipped file, the header, the loader's line rules with the text
// conversion, the "/" lists), in a temporary working directory and profile.
#include "ShellDirs.h"
#include "app/SystemLanguage.h"
#include "app/TavoApp.h"
#include "platform/MessageBoxRecorder.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

class TestApp final : public QObject
{
    Q_OBJECT

private:
    std::optional<testsupport::ShellDirs> m_dirs;
    std::unique_ptr<CTavoApp> m_app;

    // One section of 150 texts "<prefix>0" ... "<prefix>149".
    static QByteArray Section(int language, const QByteArray& prefix)
    {
        QByteArray text = QString::asprintf("[Lang%03d]\n", language).toLatin1();
        for (int i = 0; i < CTavoApp::kTextCount; ++i)
            text +=
                QString::asprintf("ID%03d=", i).toLatin1() + prefix + QByteArray::number(i) + '\n';
        return text;
    }

    QString Text(int n) const { return m_app->m_strText[static_cast<std::size_t>(n)]; }

    // Replaces the UI text file; a null content leaves the folder without one.
    void WriteFile(const QByteArray& content)
    {
        QFile file(m_dirs->UiTextFile());
        file.remove();
        if (!content.isNull())
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }

    QString ProfileFile() const
    {
        return m_dirs->profile.filePath(QStringLiteral("Ostrel updater/Tolvane_Down.ini"));
    }

    // A value of the program's profile section, read as an outside editor would.
    QVariant Stored(const char* entry) const
    {
        return QSettings(ProfileFile(), QSettings::IniFormat)
            .value(QStringLiteral("Tavo_Config/") + QLatin1String(entry));
    }

    // Runs the start-up; true when it handed over to the sheet runner and then ended.
    bool Start(std::uint32_t systemLanguage)
    {
        bool sheetRun = false;
        StartupOptions options;
        options.workingDirectory = m_dirs->work.path();
        options.systemLanguageId = systemLanguage;
        options.profileApplication = QStringLiteral("Tolvane_Down");
        options.runSheet = [&sheetRun](CTavoApp&) { sheetRun = true; };
        return !m_app->InitInstance(options) && sheetRun;
    }

private slots:
    // Before any QSettings exists, so that no path of the real profile is ever used.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_dirs.emplace(QStringLiteral(TAVO_RES_DIR "/Tavo_UIText.txt"));
        QVERIFY(m_dirs->Ready());
        m_app = std::make_unique<CTavoApp>();
        m_app->m_strCurDir = m_dirs->work.path();
    }

    void start_data()
    {
        // The profile's "entry=value" pairs before the start, and the system language; then
        // the language the program runs in and its first text.
        QTest::addColumn<QString>("profile");
        QTest::addColumn<quint32>("systemLanguage");
        QTest::addColumn<int>("runLanguage");
        QTest::addColumn<QString>("text0");

        QTest::newRow("first start, fr_FR") << "" << 0x040Cu << 1 << "Connexion";
        QTest::newRow("first start, fr_CA") << "" << 0x0C0Cu << 0 << "Connection";
        QTest::newRow("first start, en_US") << "" << 0x0409u << 0 << "Connection";
        QTest::newRow("second start") << "Firstusage=1 Language=1" << 0x0409u << 1 << "Connexion";
        QTest::newRow("Firstusage 2") << "Firstusage=2 Language=0" << 0x040Cu << 1 << "Connexion";
        QTest::newRow("Firstusage not a number")
            << "Firstusage=yes Language=0" << 0x040Cu << 1 << "Connexion";
        QTest::newRow("no section: empty texts") << "Firstusage=1 Language=7" << 0x0409u << 7 << "";
        // The profile is the program's own file: a company-wide one is not read in its place.
        QTest::newRow("stray company-wide file")
            << "company:Firstusage=1 company:Language=1" << 0x0409u << 0 << "Connection";
    }

    void start()
    {
        QFETCH(QString, profile);
        QFETCH(quint32, systemLanguage);
        QFETCH(int, runLanguage);
        QFETCH(QString, text0);
        QSettings settings(ProfileFile(), QSettings::IniFormat);
        QSettings company(m_dirs->profile.filePath(QStringLiteral("Ostrel updater.ini")),
                          QSettings::IniFormat);
        const QStringList entries = profile.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (QString entry : entries) {
            QSettings& file = entry.startsWith(QStringLiteral("company:")) ? company : settings;
            entry.remove(QStringLiteral("company:"));
            file.setValue(QStringLiteral("Tavo_Config/") + entry.section(QLatin1Char('='), 0, 0),
                          entry.section(QLatin1Char('='), 1));
        }
        settings.sync();
        company.sync();

        CTavoApp& app = *m_app;
        // Left over from an earlier run: the sheet must start from a clear state.
        app.m_bConnected = 1;
        app.m_nPageUpdate = 1;
        app.m_nPageDiagnosis = 4;
        QVERIFY(Start(systemLanguage));
        QCOMPARE(Stored("Language").toInt(), runLanguage);
        QCOMPARE(Stored("Firstusage").toInt(), 1);
        QCOMPARE(app.m_nLanguage, runLanguage);
        QCOMPARE(app.m_strText[0], text0);
        // The system language is taken on a first start only.
        QCOMPARE(app.m_wSysLangId,
                 entries.contains(QStringLiteral("Firstusage=1")) ? 0u : systemLanguage);
        QCOMPARE(app.m_bConnected.load(), 0);
        for (int position : {app.m_nPageConnect, app.m_nPageUpdate, app.m_nPageReset,
                             app.m_nPageLanguage, app.m_nPagePoi, app.m_nPageDiagnosis})
            QCOMPARE(position, 255);
    }

    void missingUITextFileEndsTheProgram()
    {
        WriteFile({});
        platform::MessageBoxRecorder boxes;
        QVERIFY(!Start(0x040C));
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Error[0001]")});
        // The profile is not opened before the texts are known.
        QVERIFY(!QFile::exists(ProfileFile()));
    }

    void languageIdentifiers_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<quint32>("id");

        QTest::newRow("fr_FR") << "fr_FR" << 0x040Cu;
        QTest::newRow("fr_CA") << "fr_CA" << 0x0C0Cu;
        QTest::newRow("en_US") << "en_US" << 0x0409u;
        // French starts the program in French only as the French of France.
        QTest::newRow("fr without its own entry (Senegal)") << "fr_SN" << 0x0409u;
        QTest::newRow("language not in the table") << "sw_KE" << 0x0409u;
    }

    void languageIdentifiers()
    {
        QFETCH(QString, locale);
        QFETCH(quint32, id);
        QCOMPARE(LanguageIdOf(QLocale(locale)), id);
    }

    void shippedFile()
    {
        QVERIFY(m_app->LoadUIHeader());
        QCOMPARE(m_app->m_strLangItem, QByteArray("English/Fran\xc3\xa7"
                                                  "ais"));
        QVERIFY(m_app->LoadUIText(0));
        const std::array<QString, CTavoApp::kTextCount> english = m_app->m_strText;
        // Wordings with blanks or spellings of their own, as the user has always seen them.
        QCOMPARE(Text(10), QStringLiteral("Manual Upadate"));
        QCOMPARE(Text(12), QStringLiteral("DB Ver - "));
        QCOMPARE(Text(36), QStringLiteral(" [Version is good]"));
        QVERIFY(m_app->LoadUIText(1));
        QCOMPARE(Text(1), QStringLiteral("Langue :"));
        // French has a text exactly where English has one, and every text the program shows
        // or says is there.
        for (int n = 0; n < CTavoApp::kTextCount; ++n)
            QCOMPARE(Text(n).isEmpty(), english[static_cast<std::size_t>(n)].isEmpty());
        for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 13, 27, 37, 55, 108, 109, 114, 115, 116, 126, 147})
            QVERIFY2(!english[static_cast<std::size_t>(n)].trimmed().isEmpty(),
                     qPrintable(QString::number(n)));
    }

    void header_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<QByteArray>("langItem");

        QTest::newRow("anywhere in the file, last one wins")
            << QByteArray("[Lang000]\nLang_Item=A/B\nID000=x\nLang_Item=C/D/E\n")
            << QByteArray("C/D/E");
        QTest::newRow("no equals sign gives the whole line")
            << QByteArray("Lang_Item English\n") << QByteArray("Lang_Item English");
        QTest::newRow("matched on nine characters")
            << QByteArray("Lang_Items=X/Y\n") << QByteArray("X/Y");
        QTest::newRow("byte-order mark hides a first-line key")
            << QByteArray("\xef\xbb\xbfLang_Item=English\n") << QByteArray("kept");
        QTest::newRow("CRLF line ends") << QByteArray("Lang_Item=A/B\r\n") << QByteArray("A/B");
        QTest::newRow("no file") << QByteArray() << QByteArray("kept");
    }

    void header()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, langItem);
        WriteFile(content);
        m_app->m_strLangItem = "kept";
        QCOMPARE(m_app->LoadUIHeader(), !content.isNull());
        QCOMPARE(m_app->m_strLangItem, langItem);
    }

    void loader_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<int>("language");
        // Texts replaced from the start ("en<n>", or "fr<n>" for language 1); the others keep
        // "old<n>". The load is complete when all 150 were replaced.
        QTest::addColumn<int>("replaced");

        const QByteArray en = Section(0, "en");
        const QByteArray fr = Section(1, "fr");
        QTest::newRow("all 150") << (en + fr) << 0 << 150;
        QTest::newRow("blank line after ID010")
            << QByteArray(en).replace("ID010=en10\n", "ID010=en10\n\n") << 0 << 11;
        QTest::newRow("ID005 skipped")
            << (en + QByteArray(fr).replace("ID005=fr5\n", "")) << 1 << 5;
        QTest::newRow("key without equals sign")
            << QByteArray(en).replace("ID030=en30", "ID030 en30") << 0 << 30;
        QTest::newRow("file ends inside the section") << en.left(en.indexOf("ID100=")) << 0 << 100;
        QTest::newRow("no such section") << en << 1 << 0;
        QTest::newRow("head matched on nine characters")
            << QByteArray(en).replace("[Lang000]", "[Lang000] English") << 0 << 150;
        QTest::newRow("byte-order mark hides a first-line head") << ("\xef\xbb\xbf" + en) << 0 << 0;
        QTest::newRow("language 1000 is not [Lang100]") << (en + Section(100, "x")) << 1000 << 0;
        QTest::newRow("no selection (-1)") << (en + fr) << -1 << 0;
        QTest::newRow("no file") << QByteArray() << 0 << 0;
    }

    void loader()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, language);
        QFETCH(int, replaced);
        WriteFile(content);
        for (int i = 0; i < CTavoApp::kTextCount; ++i)
            m_app->m_strText[static_cast<std::size_t>(i)] = QStringLiteral("old%1").arg(i);

        QCOMPARE(m_app->LoadUIText(language), replaced == CTavoApp::kTextCount);
        const QString prefix = QLatin1String(language == 1 ? "fr" : "en");
        for (int i = 0; i < CTavoApp::kTextCount; ++i)
            QCOMPARE(Text(i), (i < replaced ? prefix : QStringLiteral("old")) + QString::number(i));
    }

    // One value line of a section, put in place of ID003, and the text it gives.
    void loaderValues_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("text");

        QTest::newRow("equals sign inside the value") << QByteArray("ID003=a=b") << "a=b";
        QTest::newRow("key matched on five characters") << QByteArray("ID0037=x") << "x";
        QTest::newRow("blanks kept") << QByteArray("ID003= a ") << " a ";
        QTest::newRow("UTF-8") << QByteArray("ID003=Mise \xc3\xa0 jour") << "Mise à jour";
        QTest::newRow("lone continuation byte") << QByteArray("ID003=a\x80z") << "a?z";
        QTest::newRow("sequence cut short at the end") << QByteArray("ID003=abc\xc3") << "abc?";
        QTest::newRow("Latin-1, not UTF-8") << QByteArray("ID003=\xe7-") << "?-";
        QTest::newRow("written replacement character") << QByteArray("ID003=\xef\xbf\xbd") << "?";
    }

    void loaderValues()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, text);
        WriteFile(Section(0, "t").replace("ID003=t3", line));
        QVERIFY(m_app->LoadUIText(0));
        QCOMPARE(Text(3), text);
        QCOMPARE(Text(4), QStringLiteral("t4"));
    }

    void slashItem_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("item");

        const QString areas = QStringLiteral("EUROPE/FRANCE/CHINA");
        QTest::newRow("middle") << areas << 1 << "FRANCE";
        QTest::newRow("far past the end gives the last") << areas << 7 << "CHINA";
        QTest::newRow("empty items skipped") << QStringLiteral("/a//b/") << 1 << "b";
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
};

QTEST_GUILESS_MAIN(TestApp)
#include "test_app.moc"
