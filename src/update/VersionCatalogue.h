#pragma once

#include <QByteArray>
#include <QString>
#include <array>

// The version catalogue: which content the update server offers. All fields are the values
// read from the catalogue file, as bytes (at most 127 each): the file has no encoding of its
// own, and a name reaches the server address unchanged. The counts are converted where they
// are used (ToCount).
struct VersionCatalogue
{
    static constexpr int kMaxEntries = 50;
    using Names = std::array<QByteArray, kMaxEntries>;

    QByteArray fwVersion;     // "FW" / "VER_NUM"
    QByteArray dbCount;       // "DB" / "DB_NUM"
    Names dbNames;            // "DB_FNAME%02d"
    QByteArray voiceCount;    // "VOICE" / "VOICE_NUM"
    Names voiceNames;         // "VOICE_FNAME%02d"
    QByteArray imageCount;    // "IMAGE" / "IMAGE_NUM"
    Names imageNames;         // "IMAGE_FNAME%02d"
    QByteArray languageCount; // "LAGNUAGE" / "LANGUAGE_NUM"
    Names languageVoiceNames; // "LANGUAGE_%02d_VO"
    Names languageImageNames; // "LANGUAGE_%02d_IMG"

    bool operator==(const VersionCatalogue&) const = default;
};

// Decimal value of a count text: stops at the first non-digit, 0 for an empty text (a
// leading sign is taken, as the C library's conversion does).
int ToCount(const QByteArray& text);

// Reads ".\Tavo_VersionInfo.txt" from the working directory into catalogue. False when the
// file is missing (nothing changes) or a count is 51 or more ("Error[1001]" to
// "Error[1004]" is shown and the sections after it are not read).
bool ReadVersionCatalogue(VersionCatalogue& catalogue);

// The same from the catalogue file at filePath.
bool ReadVersionCatalogue(VersionCatalogue& catalogue, const QString& filePath);

// The catalogue's file name, looked up in the working directory.
inline constexpr const char* kVersionCatalogueFileName = "Tavo_VersionInfo.txt";
