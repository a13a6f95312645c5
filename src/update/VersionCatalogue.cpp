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
    QByteArray VersionCatalogue::*count;
    VersionCatalogue::Names VersionCatalogue::*names;
};

// Reads a count and, when it is below 51, that many names. False (after the code has been
// shown) when the count is too large; the count itself is kept either way.
bool ReadList(const platform::PrivateProfile& profile, const ListSection& list,
              VersionCatalogue& catalogue)
{
    const QByteArray section(list.section);
    catalogue.*list.count = profile.value(section, list.countKey);
    const int n = ToCount(catalogue.*list.count);
    if (n > VersionCatalogue::kMaxEntries) {
        platform::ShowErrorCode(list.tooManyCode);
        return false;
    }
    for (int i = 0; i < n; ++i)
        (catalogue.*list.names)[i] =
            profile.value(section, QString::asprintf(list.nameKeyFormat, i).toLatin1());
    return true;
}

} // namespace

int ToCount(const QByteArray& text)
{
    qsizetype i = 0;
    // Leading white space as the C library knows it: blank, tab, and line feed to return.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate in 64 bits and clamp, so a long run of digits stays a large count instead of
    // wrapping round to a small or negative one.
    qint64 value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
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

    catalogue.fwVersion = profile.value("FW", "VER_NUM");

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
    const QByteArray language("LAGNUAGE");
    catalogue.languageCount = profile.value(language, "LANGUAGE_NUM");
    const int n = ToCount(catalogue.languageCount);
    if (n > VersionCatalogue::kMaxEntries) {
        platform::ShowErrorCode(1004);
        return false;
    }
    for (int i = 0; i < n; ++i) {
        catalogue.languageVoiceNames[i] =
            profile.value(language, QString::asprintf("LANGUAGE_%02d_VO", i).toLatin1());
        catalogue.languageImageNames[i] =
            profile.value(language, QString::asprintf("LANGUAGE_%02d_IMG", i).toLatin1());
    }
    return true;
}
