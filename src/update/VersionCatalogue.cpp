#include "update/VersionCatalogue.h"

#include "platform/MessageBox.h"
#include "platform/PrivateProfile.h"

#include <QDir>
#include <QFileInfo>
#include <limits>

namespace {

struct ListSection
{
    const char* section;
    const char* countKey;
    const char* nameKeyFormat;
    int tooManyCode;
    QString VersionCatalogue::*count;
    VersionCatalogue::Names VersionCatalogue::*names;
};

// Reads a count and, when it is below 51, that many names. False (after the code has been
// shown) when the count is too large; the count itself is kept either way.
bool ReadList(const platform::PrivateProfile& profile, const ListSection& list,
              VersionCatalogue& catalogue)
{
    const QString section = QLatin1String(list.section);
    catalogue.*list.count = profile.value(section, QLatin1String(list.countKey));
    const int n = ToCount(catalogue.*list.count);
    if (n > VersionCatalogue::kMaxEntries) {
        platform::ShowErrorCode(list.tooManyCode);
        return false;
    }
    for (int i = 0; i < n; ++i)
        (catalogue.*list.names)[i] =
            profile.value(section, QString::asprintf(list.nameKeyFormat, i));
    return true;
}

} // namespace

int ToCount(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    // Accumulate in 64 bits and clamp, so a long run of digits stays a large count instead of
    // wrapping round to a small or negative one.
    qint64 value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > std::numeric_limits<int>::max())
            return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    }
    return static_cast<int>(negative ? -value : value);
}

bool ReadVersionCatalogue(VersionCatalogue& catalogue)
{
    return ReadVersionCatalogue(catalogue,
                                QDir::current().filePath(QLatin1String(kVersionCatalogueFileName)));
}

bool ReadVersionCatalogue(VersionCatalogue& catalogue, const QString& filePath)
{
    if (!QFileInfo(filePath).isFile())
        return false;
    // One parse serves every lookup of this call; nothing is kept afterwards.
    const platform::PrivateProfile profile = platform::PrivateProfile::FromFile(filePath);

    catalogue.fwVersion = profile.value(QStringLiteral("FW"), QStringLiteral("VER_NUM"));

    static const ListSection kLists[] = {
        {"DB", "DB_NUM", "DB_FNAME%02d", 1001, &VersionCatalogue::dbCount,
         &VersionCatalogue::dbNames},
        {"VOICE", "VOICE_NUM", "VOICE_FNAME%02d", 1002, &VersionCatalogue::voiceCount,
         &VersionCatalogue::voiceNames},
        {"IMAGE", "IMAGE_NUM", "IMAGE_FNAME%02d", 1003, &VersionCatalogue::imageCount,
         &VersionCatalogue::imageNames},
    };
    for (const ListSection& list : kLists) {
        if (!ReadList(profile, list, catalogue))
            return false;
    }

    // The language section's name is spelled this way in every catalogue the server has
    // published; a section spelled "LANGUAGE" is not the one read.
    const QString language = QStringLiteral("LAGNUAGE");
    catalogue.languageCount = profile.value(language, QStringLiteral("LANGUAGE_NUM"));
    const int n = ToCount(catalogue.languageCount);
    if (n > VersionCatalogue::kMaxEntries) {
        platform::ShowErrorCode(1004);
        return false;
    }
    for (int i = 0; i < n; ++i) {
        catalogue.languageVoiceNames[i] =
            profile.value(language, QString::asprintf("LANGUAGE_%02d_VO", i));
        catalogue.languageImageNames[i] =
            profile.value(language, QString::asprintf("LANGUAGE_%02d_IMG", i));
    }
    return true;
}
