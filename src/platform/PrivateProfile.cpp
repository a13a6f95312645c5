#include "platform/PrivateProfile.h"

#include <QFile>

namespace platform {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Drops blanks (spaces and tabs) at both ends; other white space belongs to the text.
QByteArray TrimBlanks(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin).toByteArray();
}

QByteArray StripEnclosingQuotes(const QByteArray& value)
{
    if (value.size() >= 2) {
        const char first = value.front();
        if ((first == '"' || first == '\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

// The lines of the text: CR LF, a CR alone and an LF alone each end a line, as the
// profile functions split them, so a file saved with any of these line ends reads the same.
std::vector<QByteArrayView> Lines(QByteArrayView text)
{
    std::vector<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.sliced(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    lines.push_back(text.sliced(start));
    return lines;
}

bool SameName(const QByteArray& a, const QByteArray& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

PrivateProfile PrivateProfile::FromText(const QByteArray& text)
{
    PrivateProfile profile;
    const QByteArray all = text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;

    // Entries before the first section header belong to no section and are never found.
    Section* current = nullptr;
    for (const QByteArrayView view : Lines(all)) {
        const QByteArray line = TrimBlanks(view);
        if (line.isEmpty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const qsizetype close = line.lastIndexOf(']');
            const QByteArrayView name = close > 0 ? QByteArrayView(line).sliced(1, close - 1)
                                                  : QByteArrayView(line).sliced(1);
            profile.m_sections.push_back(Section{TrimBlanks(name), {}});
            current = &profile.m_sections.back();
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!current || equals < 0)
            continue;
        current->entries.push_back(Entry{TrimBlanks(QByteArrayView(line).first(equals)),
                                         TrimBlanks(QByteArrayView(line).sliced(equals + 1))});
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

QByteArray PrivateProfile::value(const QByteArray& section, const QByteArray& key,
                                 const QByteArray& defaultValue, int bufferSize) const
{
    if (bufferSize < 1)
        return {};
    const QByteArray* found = nullptr;
    for (const Section& s : m_sections) {
        if (!SameName(s.name, section))
            continue;
        for (const Entry& e : s.entries) {
            if (SameName(e.key, key)) {
                found = &e.value;
                break;
            }
        }
        // Only the first section of that name is searched, as the profile functions do.
        break;
    }
    QByteArray result = found ? StripEnclosingQuotes(*found) : defaultValue;
    if (!found) {
        // Trailing blanks of a default are dropped; leading ones stay.
        while (!result.isEmpty() && IsBlank(result.back()))
            result.chop(1);
    }
    return result.left(bufferSize - 1);
}

QByteArray GetPrivateProfileString(const QByteArray& section, const QByteArray& key,
                                   const QByteArray& defaultValue, const QString& filePath,
                                   int bufferSize)
{
    return PrivateProfile::FromFile(filePath).value(section, key, defaultValue, bufferSize);
}

} // namespace platform
