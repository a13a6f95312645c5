#include "app/TavoApp.h"

#include "app/SystemLanguage.h"
#include "app/TextConvert.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The UI text file read line by line as the C library's text mode does: bytes as they are
// (a byte-order mark belongs to the first line), the line end removed. The file is small and
// read whole at the opening.
class TextLines
{
public:
    explicit TextLines(const QString& path) : m_path(path) {}

    bool Open()
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        m_text = file.readAll();
        return true;
    }

    // The next line without its line end; false at the end of the file.
    bool Next(QByteArray& line)
    {
        if (m_next >= m_text.size())
            return false;
        const qsizetype feed = m_text.indexOf('\n', m_next);
        const qsizetype end = feed < 0 ? m_text.size() : feed;
        line = m_text.sliced(m_next, end - m_next);
        m_next = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        return true;
    }

private:
    QString m_path;
    QByteArray m_text;
    qsizetype m_next = 0;
};

constexpr int kFirstUsageDone = 1;
constexpr std::uint32_t kFrenchFrance = 0x040C;
constexpr int kLanguageEnglish = 0;
constexpr int kLanguageFrench = 1;
constexpr int kErrorNoUIText = 1;

} // namespace

bool CTavoApp::InitInstance(const StartupOptions& options)
{
    m_strCurDir =
        options.workingDirectory.isEmpty() ? QDir::currentPath() : options.workingDirectory;
    if (m_strCurDir.size() > 1 && m_strCurDir.endsWith(QLatin1Char('/')))
        m_strCurDir.chop(1);

    if (!LoadUIHeader()) {
        platform::ShowErrorCode(kErrorNoUIText);
        return false;
    }

    m_profileApplication =
        options.profileApplication.isEmpty()
            ? QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()
            : options.profileApplication;
    SetRegistryKey(kRegistryKey);

    m_nFirstUsage = GetProfileInt(kProfileSection, QStringLiteral("Firstusage"), 0);
    if (m_nFirstUsage != kFirstUsageDone) {
        m_wSysLangId = options.systemLanguageId.value_or(SystemLanguageId());
        WriteProfileInt(kProfileSection, QStringLiteral("Language"),
                        m_wSysLangId == kFrenchFrance ? kLanguageFrench : kLanguageEnglish);
        WriteProfileInt(kProfileSection, QStringLiteral("Firstusage"), kFirstUsageDone);
    }
    m_nLanguage = GetProfileInt(kProfileSection, QStringLiteral("Language"), 0);

    // Texts that do not load stay empty; the program runs anyway.
    LoadUIText(m_nLanguage);

    m_bConnected = 0;
    m_nPageConnect = m_nPageUpdate = m_nPageReset = kNoPage;
    m_nPageLanguage = m_nPagePoi = m_nPageDiagnosis = kNoPage;

    if (options.runSheet)
        options.runSheet(*this);
    m_pSheet = nullptr;
    return false;
}

QString CTavoApp::UITextPath() const
{
    return m_strCurDir + QLatin1Char('/') + kUITextFile;
}

bool CTavoApp::LoadUIHeader()
{
    TextLines lines(UITextPath());
    if (!lines.Open())
        return false;
    QByteArray line;
    while (lines.Next(line)) {
        // "Lang_Ver" names the file's version; nothing depends on it.
        if (line.startsWith("Lang_Item")) {
            const qsizetype equals = line.indexOf('=');
            m_strLangItem = equals < 0 ? line : line.mid(equals + 1);
        }
    }
    return true;
}

bool CTavoApp::LoadUIText(int language)
{
    TextLines lines(UITextPath());
    if (!lines.Open())
        return false;

    // Heads are compared on their first nine characters only, as the three-digit form has
    // exactly nine.
    const QByteArray head = QString::asprintf("[Lang%03d]", language).toLatin1();
    const QByteArray headPrefix = head.left(9);
    QByteArray line;
    bool found = false;
    while (lines.Next(line)) {
        if (line.startsWith(headPrefix)) {
            found = true;
            break;
        }
    }
    if (!found)
        return false;

    for (int i = 0; i < kTextCount; ++i) {
        const QByteArray key = QString::asprintf("ID%03d", i).toLatin1();
        if (!lines.Next(line) || !line.startsWith(key))
            return false;
        const qsizetype equals = line.indexOf('=', 1);
        if (equals < 0)
            return false;
        m_strText[static_cast<std::size_t>(i)] = Utf8ToAnsi(line.mid(equals + 1));
    }
    return true;
}

QString CTavoApp::GetSlashItem(const QString& list, int n) const
{
    return SlashItem(list, n);
}

void CTavoApp::SetRegistryKey(const QString& company)
{
    if (m_profileApplication.isEmpty())
        m_profileApplication =
            QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    m_profile.SetLocation(company, m_profileApplication);
}

int CTavoApp::GetProfileInt(const QString& section, const QString& entry, int defaultValue) const
{
    return m_profile.GetInt(section, entry, defaultValue);
}

bool CTavoApp::WriteProfileInt(const QString& section, const QString& entry, int value)
{
    return m_profile.WriteInt(section, entry, value);
}

QString CTavoApp::GetProfileString(const QString& section, const QString& entry,
                                   const QString& defaultValue) const
{
    return m_profile.GetString(section, entry, defaultValue);
}

bool CTavoApp::WriteProfileString(const QString& section, const QString& entry,
                                  const QString& value)
{
    return m_profile.WriteString(section, entry, value);
}

CTavoApp& theApp()
{
    static CTavoApp app;
    return app;
}

const QString& AppText(int n)
{
    return theApp().m_strText[static_cast<std::size_t>(n)];
}
