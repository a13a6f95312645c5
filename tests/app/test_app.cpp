// The application object: the start-up with its profile and first-start language, and the UI
// text catalogue (the shipped file, the loader's line rules with the text conversion, the "/"
// lists), in a temporary working directory and profile; the page base class.
#include "ShellDirs.h"
#include "app/PropertyPage.h"
#include "app/SystemLanguage.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "platform/MessageBoxRecorder.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QtTest>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// A page that records which of its hooks ran, in order, and kills its timer at the second tick.
class RecordingPage final : public CPropertyPage
{
public:
    QStringList calls;
    int ticks = 0;

    void OnInitDialog() override { calls << u"init"_s; }
    void OnShowPage() override { calls << u"show"_s; }
    void OnRefresh() override { calls << u"refresh"_s; }
    void ApplyEnableRule() override { calls << u"enable"_s; }
    void OnTimer(int id) override
    {
        if (++ticks == 2)
            KillTimer(id);
    }
    QString Take() { return std::exchange(calls, {}).join(u' '); }
};

} // namespace

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

    // Runs the start-up; true when it handed over to the sheet runner and then ended.
    bool Start(const QString& systemLocale)
    {
        bool sheetRun = false;
        StartupOptions options;
        options.workingDirectory = m_dirs->work.path();
        options.systemLanguageId = LanguageIdOf(QLocale(systemLocale));
        options.profileApplication = u"Tolvane_Down"_s;
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
        // The system's locale, then the profile's "entry=value" pairs before the start; the
        // language the program runs in and its first text. A first start is in French only on
        // the French of France.
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("runLanguage");
        QTest::addColumn<QString>("text0");

        QTest::newRow("first start, fr_FR") << "fr_FR" << 1 << "Connexion";
        QTest::newRow("first start, fr_CA") << "fr_CA" << 0 << "Connection";
        QTest::newRow("first start, fr_SN") << "fr_SN" << 0 << "Connection";
        QTest::newRow("Firstusage 2") << "fr_FR Firstusage=2 Language=0" << 1 << "Connexion";
        QTest::newRow("second start, a language without section")
            << "en_US Firstusage=1 Language=7" << 7 << "";
    }

    void start()
    {
        QFETCH(QString, setup);
        QFETCH(int, runLanguage);
        QFETCH(QString, text0);
        // The profile as an outside editor writes it. The program reads its own file only: a
        // stray company-wide one, which would make every start a second one in French, is not
        // read in its place.
        const auto write = [this](const QString& file, const QStringList& entries) {
            QSettings ini(m_dirs->profile.filePath(file), QSettings::IniFormat);
            for (const QString& entry : entries)
                ini.setValue(u"Tavo_Config/"_s + entry.section(u'=', 0, 0), entry.section(u'=', 1));
        };
        QStringList entries = setup.split(u' ');
        const QString locale = entries.takeFirst();
        write(u"Ostrel updater/Tolvane_Down.ini"_s, entries);
        write(u"Ostrel updater.ini"_s, {u"Firstusage=1"_s, u"Language=1"_s});

        QVERIFY(Start(locale));
        QCOMPARE(m_app->GetProfileInt(CTavoApp::kProfileSection, u"Language"_s, -1), runLanguage);
        QCOMPARE(m_app->GetProfileInt(CTavoApp::kProfileSection, u"Firstusage"_s, -1), 1);
        QCOMPARE(Text(0), text0);
    }

    void missingUITextFileEndsTheProgram()
    {
        QVERIFY(QFile::remove(m_dirs->UiTextFile()));
        platform::MessageBoxRecorder boxes;
        QVERIFY(!Start(u"fr_FR"_s));
        QCOMPARE(boxes.texts(), QStringList{u"Error[0001]"_s});
    }

    // The UI text file: its header's "Lang_Item" (else "kept"), whether the texts of the
    // language loaded completely, how many were replaced from the start (the others keep
    // "old<n>"), and text 3.
    void uiTextFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("result");

        const QByteArray en = Section(0, "en");
        const auto value = [&en](const char* line) {
            return QByteArray(en).replace("ID003=en3", line);
        };
        QTest::newRow("Lang_Item anywhere, the last one wins, without equals sign the line")
            << QByteArray("[Lang000]\nLang_Item=A/B\nID000=x\nLang_Item English\n") << 0
            << "Lang_Item English|0|0|old3";
        QTest::newRow("the section of language 1, CRLF line ends")
            << QByteArray("Lang_Item=A/B\n" + en + Section(1, "fr")).replace("\n", "\r\n") << 1
            << "A/B|1|150|fr3";
        QTest::newRow("blank line after ID010")
            << QByteArray(en).replace("ID010=en10\n", "ID010=en10\n\n") << 0 << "kept|0|11|en3";
        QTest::newRow("key without equals sign") << value("ID003 en3") << 0 << "kept|0|3|old3";
        QTest::newRow("a byte-order mark hides a first-line head; 1000 is not [Lang100]")
            << ("\xef\xbb\xbf" + Section(1000, "x") + Section(100, "y")) << 1000 << "kept|0|0|old3";
        // The key on its five characters, the value after the first equals sign with its
        // blanks, converted from UTF-8 (Latin-1 is not).
        QTest::newRow("value") << value("ID0037= a=b \xe7-") << 0 << "kept|1|150| a=b ?-";
    }

    void uiTextFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, language);
        QFETCH(QString, result);
        QFile file(m_dirs->UiTextFile());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        m_app->m_strLangItem = "kept";
        const auto old = [](int n) { return u"old%1"_s.arg(n); };
        for (int i = 0; i < CTavoApp::kTextCount; ++i)
            m_app->m_strText[static_cast<std::size_t>(i)] = old(i);

        QVERIFY(m_app->LoadUIHeader());
        const bool complete = m_app->LoadUIText(language);
        int replaced = 0;
        while (replaced < CTavoApp::kTextCount && Text(replaced) != old(replaced))
            ++replaced;
        for (int i = replaced; i < CTavoApp::kTextCount; ++i)
            QCOMPARE(Text(i), old(i));
        QCOMPARE(u"%1|%2|%3|%4"_s.arg(QString::fromUtf8(m_app->m_strLangItem),
                                      QString::number(complete), QString::number(replaced),
                                      Text(3)),
                 result);
    }

    void slashItem()
    {
        QCOMPARE(m_app->GetSlashItem(u"/a//b/"_s, 1), u"b"_s); // empty items skipped
        QCOMPARE(m_app->GetSlashItem({}, 0), QString());       // none: no last item either
    }

    // The page base class: initialisation once per window at its first showing, the refresh on
    // every showing and after Invalidate, and window timers.
    void showingAndInvalidate()
    {
        QTabWidget tabs;
        auto* first = new RecordingPage;
        auto* second = new RecordingPage;
        tabs.addTab(first, u"first"_s);
        tabs.addTab(second, u"second"_s);
        const auto take = [&] { return first->Take() + u'|' + second->Take(); };
        tabs.show();
        QCOMPARE(take(), u"init show refresh enable|"_s);
        tabs.setCurrentIndex(1);
        tabs.setCurrentIndex(0);
        QCOMPARE(take(), u"show refresh enable|init show refresh enable"_s);

        // Nothing runs inside the caller; requests are coalesced; a hidden page's request is
        // served by its next showing.
        first->Invalidate();
        first->Invalidate();
        second->Invalidate();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(take(), u"refresh enable|"_s);
        tabs.setCurrentIndex(1);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(take(), u"|show refresh enable"_s);
    }

    void timers()
    {
        RecordingPage page;
        page.SetTimer(9, 60000);
        page.SetTimer(9, 1); // a running id takes the new period
        QTRY_COMPARE_WITH_TIMEOUT(page.ticks, 2, 1000);
        page.Timers().SetManual(true); // a set timer then waits for the test to step it
        page.SetTimer(9, 1);
        QTest::qWait(20);
        QCOMPARE(page.ticks, 2); // nor did the one killed from inside its second tick go on
    }
};

QTEST_MAIN(TestApp)
#include "test_app.moc"
