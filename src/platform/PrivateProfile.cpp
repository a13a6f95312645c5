#include "platform/PrivateProfile.h"

#include <QFile>

namespace platform {

namespace {

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Drops blanks (spaces and tabs) at both ends; other white space belongs to the text.
QString TrimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin).toString();
}

QString StripEnclosingQuotes(const QString& value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

} // namespace

PrivateProfile PrivateProfile::FromText(const QByteArray& text)
{
    PrivateProfile profile;
    QString all = QString::fromUtf8(text);
    if (all.startsWith(QChar(0xFEFF)))
        all.remove(0, 1);

    // Entries before the first section header belong to no section and are never found.
    Section* current = nullptr;
    const auto lines = QStringView(all).split(QLatin1Char('\n'));
    for (QStringView raw : lines) {
        if (raw.endsWith(QLatin1Char('\r')))
            raw.chop(1);
        const QString line = TrimBlanks(raw);
        if (line.isEmpty() || line.front() == QLatin1Char(';'))
            continue;
        if (line.front() == QLatin1Char('[')) {
            const qsizetype close = line.lastIndexOf(QLatin1Char(']'));
            const QStringView name =
                close > 0 ? QStringView(line).mid(1, close - 1) : QStringView(line).mid(1);
            profile.m_sections.push_back(Section{TrimBlanks(name), {}});
            current = &profile.m_sections.back();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!current || equals < 0)
            continue;
        current->entries.push_back(Entry{TrimBlanks(QStringView(line).left(equals)),
                                         TrimBlanks(QStringView(line).mid(equals + 1))});
    }
    return profile;
}

PrivateProfile PrivateProfile::FromFile(const QString& filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return FromText(file.readAll());
}

QString PrivateProfile::value(const QString& section, const QString& key,
                              const QString& defaultValue, int bufferSize) const
{
    if (bufferSize < 1)
        return {};
    const QString* found = nullptr;
    for (const Section& s : m_sections) {
        if (s.name.compare(section, Qt::CaseInsensitive) != 0)
            continue;
        for (const Entry& e : s.entries) {
            if (e.key.compare(key, Qt::CaseInsensitive) == 0) {
                found = &e.value;
                break;
            }
        }
        // Only the first section of that name is searched, as the profile functions do.
        break;
    }
    QString result = found ? StripEnclosingQuotes(*found) : defaultValue;
    if (!found) {
        // Trailing blanks of a default are dropped; leading ones stay.
        while (!result.isEmpty() && IsBlank(result.back()))
            result.chop(1);
    }
    return result.left(bufferSize - 1);
}

QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, const QString& filePath,
                                int bufferSize)
{
    return PrivateProfile::FromFile(filePath).value(section, key, defaultValue, bufferSize);
}

} // namespace platform
