#pragma once

#include <QString>
#include <array>

// The version catalogue: which content the update server offers. All fields are the texts
// read from the catalogue file; the counts are converted where they are used (ToCount).
struct VersionCatalogue
{
    static constexpr int kMaxEntries = 50;
    using Names = std::array<QString, kMaxEntries>;

    QString fwVersion;        // "FW" / "VER_NUM"
    QString dbCount;          // "DB" / "DB_NUM"
    Names dbNames;            // "DB_FNAME%02d"
    QString voiceCount;       // "VOICE" / "VOICE_NUM"
    Names voiceNames;         // "VOICE_FNAME%02d"
    QString imageCount;       // "IMAGE" / "IMAGE_NUM"
    Names imageNames;         // "IMAGE_FNAME%02d"
    QString languageCount;    // "LAGNUAGE" / "LANGUAGE_NUM"
    Names languageVoiceNames; // "LANGUAGE_%02d_VO"
    Names languageImageNames; // "LANGUAGE_%02d_IMG"
};

// Decimal value of a count text: stops at the first non-digit, 0 for an empty text (a
// leading sign is taken, as the C library's conversion does).
int ToCount(const QString& text);

// Reads ".\Tavo_VersionInfo.txt" from the working directory into catalogue. False when the
// file is missing (nothing changes) or a count is 51 or more ("Error[1001]" to
// "Error[1004]" is shown and the sections after it are not read).
bool ReadVersionCatalogue(VersionCatalogue& catalogue);

// The same from the catalogue file at filePath.
bool ReadVersionCatalogue(VersionCatalogue& catalogue, const QString& filePath);

// The catalogue's file name, looked up in the working directory.
inline constexpr const char* kVersionCatalogueFileName = "Tavo_VersionInfo.txt";
