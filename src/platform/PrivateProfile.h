#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace platform {

// A private-profile (INI) file read the way the Windows profile functions read it, which is
// how the version catalogue and similar data files were always written: as bytes, in no
// particular encoding, values handed back byte for byte. Section and key names compare
// without regard to case, the first matching section and the first matching key in it
// win, lines starting with ';' are comments, blanks around names and values are dropped, and
// one pair of matching enclosing quotes (' or ") is dropped from a value. Commas, backslashes
// and inner quotes are ordinary characters (unlike QSettings). CR LF, CR alone and LF alone
// each end a line. A UTF-8 byte-order mark at the start of the file is not part of its first
// line.
class PrivateProfile
{
public:
    // The buffer size the program's readers pass: values are cut to 127 bytes.
    static constexpr int kDefaultBufferSize = 128;

    PrivateProfile() = default;

    // Parses the bytes of a profile file.
    static PrivateProfile FromText(const QByteArray& text);
    // Reads and parses the file; a missing or unreadable file gives an empty profile.
    static PrivateProfile FromFile(const QString& filePath);

    // The value of key in section, or defaultValue (without trailing blanks) when either is
    // missing or the key's line has no '='. The result holds at most bufferSize - 1 bytes, as
    // a caller's buffer of bufferSize bytes would; a bufferSize below 1 gives an empty value.
    QByteArray value(const QByteArray& section, const QByteArray& key,
                     const QByteArray& defaultValue = {},
                     int bufferSize = kDefaultBufferSize) const;

private:
    struct Entry
    {
        QByteArray key;
        QByteArray value;
    };
    struct Section
    {
        QByteArray name;
        std::vector<Entry> entries;
    };

    std::vector<Section> m_sections;
};

// One lookup in the file at filePath, read anew for the call (the profile functions keep no
// copy between calls either).
QByteArray GetPrivateProfileString(const QByteArray& section, const QByteArray& key,
                                   const QByteArray& defaultValue, const QString& filePath,
                                   int bufferSize = PrivateProfile::kDefaultBufferSize);

} // namespace platform
