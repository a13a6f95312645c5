#pragma once

#include "app/Profile.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

class CProptySheet;
class CTavoApp;

// What the start-up takes from its surroundings. The program uses the defaults; tests
// inject a folder and a system language.
struct StartupOptions
{
    // Builds the main sheet with its first pages, runs it and returns when it closes (the
    // start-up's last steps; the sheet lives above this library). Empty: no sheet is run.
    std::function<void(CTavoApp&)> runSheet;
    // Working directory to use; empty: the process's current directory.
    QString workingDirectory;
    // System default language identifier; unset: mapped from the system locale.
    std::optional<std::uint32_t> systemLanguageId;
    // Application name of the profile; empty: the executable's base name.
    QString profileApplication;
};

// The application object: the process-wide state that the sheet and every page read, the
// profile, and the UI text catalogue of the file "Tavo_UIText.txt" in the working directory.
// The program has one, reached through theApp(); tests may construct their own.
//
// Members are public and read (and some written) directly from everywhere. m_bConnected and
// m_bCheckDone are atomics because worker threads read them; only the user-interface thread
// writes them.
class CTavoApp
{
public:
    static constexpr int kTextCount = 150;
    // Page position of a page that is not in the sheet.
    static constexpr int kNoPage = 255;
    // Section of every profile value of the program.
    static constexpr QLatin1String kProfileSection{"Tavo_Config"};
    // Company key of the profile.
    static constexpr QLatin1String kRegistryKey{"Ostrel updater"};
    // Name of the UI text file in the working directory.
    static constexpr QLatin1String kUITextFile{"Tavo_UIText.txt"};

    CTavoApp() = default;
    CTavoApp(const CTavoApp&) = delete;
    CTavoApp& operator=(const CTavoApp&) = delete;

    CProptySheet* m_pSheet = nullptr;
    std::atomic<std::uint8_t> m_bConnected{0};
    std::atomic<std::uint8_t> m_bCheckDone{0};
    int m_nFirstUsage = 0;
    int m_nLanguage = 0;
    int m_nPageConnect = kNoPage;
    int m_nPageUpdate = kNoPage;
    int m_nPageReset = kNoPage;
    int m_nPageLanguage = kNoPage;
    int m_nPagePoi = kNoPage;
    int m_nPageDiagnosis = kNoPage;
    // The "/"-separated language names as the file has them (UTF-8, not converted).
    QByteArray m_strLangItem;
    std::array<QString, kTextCount> m_strText;
    QString m_strCurDir;
    std::uint32_t m_wSysLangId = 0;

    // The start-up: captures the working directory, loads the UI text header (on failure
    // shows "Error[0001]" and returns, no window shown), opens the profile, settles the
    // language on a first start, loads the texts, clears the connection and page table and
    // runs the sheet through options.runSheet. Returns false in every case: the program ends
    // when it returns.
    bool InitInstance(const StartupOptions& options);

    // Reads "Lang_Item" from the UI text file into m_strLangItem (the last one wins; a line
    // without "=" gives the whole line). False when the file cannot be opened.
    bool LoadUIHeader();
    // Loads the 150 texts of section "[Lang%03d]" into m_strText. True only when all 150
    // loaded; a load that stops at text i has replaced texts 0 to i-1 and kept the others.
    bool LoadUIText(int language);
    // Item n of a "/"-separated list (see SlashItem).
    QString GetSlashItem(const QString& list, int n) const;
    // Path of the UI text file: m_strCurDir + "/Tavo_UIText.txt".
    QString UITextPath() const;

    // Selects the profile under the company key (the application name is the executable's
    // base name unless the start-up options name one).
    void SetRegistryKey(const QString& company);
    // Integer profile value of entry in section, defaultValue when missing.
    int GetProfileInt(const QString& section, const QString& entry, int defaultValue) const;
    // Stores an integer profile value; false when it could not be written.
    bool WriteProfileInt(const QString& section, const QString& entry, int value);
    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& defaultValue) const;
    bool WriteProfileString(const QString& section, const QString& entry, const QString& value);
    // The file that holds the profile (empty before SetRegistryKey).
    QString ProfileFilePath() const { return m_profile.FilePath(); }

private:
    Profile m_profile;
    QString m_profileApplication;
};

// The program's application object.
CTavoApp& theApp();

// UI text n of the current language: entry n of the application object's m_strText.
const QString& AppText(int n);
