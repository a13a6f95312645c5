// The start-up: the first start's language, the profile values, the end of the program
// without the UI text file, and the state the sheet is given.
#include "app/SystemLanguage.h"
#include "app/TavoApp.h"
#include "platform/MessageBoxRecorder.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

namespace {

const QString kApplication = QStringLiteral("Tolvane_Down");

// What the sheet runner saw when the start-up handed over to it.
struct SheetCall
{
    int language = -2;
    QString text0;
    bool connected = true;
    std::array<int, 6> positions{};
    QString curDir;
};

} // namespace

class TestStartup final : public QObject
{
    Q_OBJECT

private:
    std::optional<QTemporaryDir> m_profileDir;
    std::optional<QTemporaryDir> m_workDir;

    QString ProfileFile() const
    {
        return m_profileDir->filePath(QStringLiteral("Ostrel updater/Tolvane_Down.ini"));
    }

    // A profile value as the file holds it; an invalid QVariant when it is missing.
    QVariant Stored(const QString& entry) const
    {
        QSettings settings(ProfileFile(), QSettings::IniFormat);
        return settings.value(QStringLiteral("Tavo_Config/") + entry);
    }

    void Store(const QString& entry, const QVariant& value) const
    {
        QSettings settings(ProfileFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Tavo_Config/") + entry, value);
    }

    void CopyShippedTexts() const
    {
        QVERIFY(QFile::copy(QStringLiteral(TAVO_RES_DIR "/Tavo_UIText.txt"),
                            m_workDir->filePath(QStringLiteral("Tavo_UIText.txt"))));
    }

    // Runs the start-up on a fresh application object; returns what the sheet runner saw
    // (nothing when it was not called).
    std::optional<SheetCall> Start(std::uint32_t systemLanguage, CTavoApp* keep = nullptr)
    {
        CTavoApp local;
        CTavoApp& app = keep ? *keep : local;
        std::optional<SheetCall> call;
        StartupOptions options;
        options.workingDirectory = m_workDir->path();
        options.systemLanguageId = systemLanguage;
        options.profileApplication = kApplication;
        options.runSheet = [&call](CTavoApp& running) {
            SheetCall seen;
            seen.language = running.m_nLanguage;
            seen.text0 = running.m_strText[0];
            seen.connected = running.m_bConnected != 0;
            seen.positions = {running.m_nPageConnect, running.m_nPageUpdate,
                              running.m_nPageReset,   running.m_nPageLanguage,
                              running.m_nPagePoi,     running.m_nPageDiagnosis};
            seen.curDir = running.m_strCurDir;
            call = seen;
        };
        const bool run = app.InitInstance(options);
        if (run)
            return std::nullopt; // the start-up never asks for a message loop
        return call;
    }

private slots:
    void initTestCase()
    {
        // Before any QSettings exists, so that no path of the real profile is ever used.
        QStandardPaths::setTestModeEnabled(true);
    }

    void init()
    {
        m_profileDir.emplace();
        m_workDir.emplace();
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_profileDir->path());
        CopyShippedTexts();
    }

    void firstStart_data()
    {
        QTest::addColumn<quint32>("systemLanguage");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("tabTitle");

        QTest::newRow("French (France)") << 0x040Cu << 1 << "Connexion";
        QTest::newRow("French (Canada)") << 0x0C0Cu << 0 << "Connection";
        QTest::newRow("French (Belgium)") << 0x080Cu << 0 << "Connection";
        QTest::newRow("English (US)") << 0x0409u << 0 << "Connection";
    }

    void firstStart()
    {
        QFETCH(quint32, systemLanguage);
        QFETCH(int, language);
        QFETCH(QString, tabTitle);

        CTavoApp app;
        const std::optional<SheetCall> call = Start(systemLanguage, &app);
        QVERIFY(call);
        QCOMPARE(Stored(QStringLiteral("Language")).toInt(), language);
        QCOMPARE(Stored(QStringLiteral("Firstusage")).toInt(), 1);
        QCOMPARE(app.m_nFirstUsage, 0);
        QCOMPARE(app.m_wSysLangId, systemLanguage);
        QCOMPARE(call->language, language);
        QCOMPARE(call->text0, tabTitle);
    }

    void secondStartKeepsLanguage()
    {
        QVERIFY(Start(0x040C));
        CTavoApp app;
        const std::optional<SheetCall> call = Start(0x0409, &app);
        QVERIFY(call);
        QCOMPARE(Stored(QStringLiteral("Language")).toInt(), 1);
        QCOMPARE(app.m_nFirstUsage, 1);
        // Captured on a first start only.
        QCOMPARE(app.m_wSysLangId, 0u);
        QCOMPARE(call->text0, QStringLiteral("Connexion"));
    }

    void firstUsageOtherThanOneStartsAfresh_data()
    {
        QTest::addColumn<QVariant>("firstUsage");
        QTest::newRow("2, set by hand") << QVariant(2);
        QTest::newRow("not a number") << QVariant(QStringLiteral("yes"));
    }

    void firstUsageOtherThanOneStartsAfresh()
    {
        QFETCH(QVariant, firstUsage);
        Store(QStringLiteral("Firstusage"), firstUsage);
        Store(QStringLiteral("Language"), 0);
        const std::optional<SheetCall> call = Start(0x040C);
        QVERIFY(call);
        QCOMPARE(Stored(QStringLiteral("Language")).toInt(), 1);
        QCOMPARE(Stored(QStringLiteral("Firstusage")).toInt(), 1);
        QCOMPARE(call->language, 1);
    }

    void languageWithoutSectionGivesEmptyTexts()
    {
        Store(QStringLiteral("Firstusage"), 1);
        Store(QStringLiteral("Language"), 7);
        const std::optional<SheetCall> call = Start(0x0409);
        QVERIFY(call);
        QCOMPARE(call->language, 7);
        QCOMPARE(call->text0, QString());
    }

    void missingUITextFileEndsTheProgram()
    {
        QVERIFY(QFile::remove(m_workDir->filePath(QStringLiteral("Tavo_UIText.txt"))));
        platform::MessageBoxRecorder boxes;
        const std::optional<SheetCall> call = Start(0x040C);
        QVERIFY(!call);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Error[0001]")});
        // The profile is not opened before the texts are known.
        QVERIFY(!QFile::exists(ProfileFile()));
    }

    void sheetGetsAClearState()
    {
        CTavoApp app;
        app.m_bConnected = 1;
        app.m_nPageUpdate = 1;
        app.m_nPageDiagnosis = 4;
        const std::optional<SheetCall> call = Start(0x0409, &app);
        QVERIFY(call);
        QVERIFY(!call->connected);
        const std::array<int, 6> none{255, 255, 255, 255, 255, 255};
        QCOMPARE(call->positions, none);
        QCOMPARE(call->curDir, m_workDir->path());
        QCOMPARE(app.m_pSheet, nullptr);
    }

    void profileLivesUnderTheCompanyKey()
    {
        CTavoApp app;
        QVERIFY(Start(0x0409, &app));
        QCOMPARE(app.ProfileFilePath(), ProfileFile());
        QVERIFY(QFile::exists(ProfileFile()));
        QVERIFY(app.WriteProfileInt(CTavoApp::kProfileSection, QStringLiteral("OnUpdate"), 165));
        QCOMPARE(Stored(QStringLiteral("OnUpdate")).toInt(), 165);
        QCOMPARE(app.GetProfileInt(CTavoApp::kProfileSection, QStringLiteral("OnUpdate"), 0), 165);
        QCOMPARE(app.GetProfileInt(CTavoApp::kProfileSection, QStringLiteral("Missing"), -7), -7);
    }

    void languageIdentifiers_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<quint32>("id");

        QTest::newRow("fr_FR") << "fr_FR" << 0x040Cu;
        QTest::newRow("fr_CA") << "fr_CA" << 0x0C0Cu;
        QTest::newRow("fr_BE") << "fr_BE" << 0x080Cu;
        QTest::newRow("en_US") << "en_US" << 0x0409u;
        QTest::newRow("fr without its own entry (Senegal)") << "fr_SN" << 0x040Cu;
        QTest::newRow("en_GB") << "en_GB" << 0x0809u;
        QTest::newRow("language not in the table") << "sw_KE" << 0x0409u;
    }

    void languageIdentifiers()
    {
        QFETCH(QString, locale);
        QFETCH(quint32, id);
        QCOMPARE(LanguageIdOf(QLocale(locale)), id);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
