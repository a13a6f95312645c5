#pragma once

#include "link/ContentKind.h"
#include "platform/Clock.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

class QWidget;

// The update server's base address: the profile string "UpdateServer" in group "Tavo_Config"
// of the application's profile, by default "ftp://update.ostrel.invalid/down/fw/Tavo".
QString UpdateServerBase();

// The server address of a kind's file: "%s/DB/%s.tbn", "%s/Voice/%s.vbn", "%s/Image/%s.ibn"
// with the base and the catalogue's name, or "%s/FW/TavoFw.bin" (the name is not used). The
// name's bytes reach the server unchanged: those an address cannot carry as they are (blanks,
// '%', '#', '?', ';', bytes outside ASCII and the like) are percent-encoded; '/' still separates
// folders.
QString ServerUrl(ContentKind kind, const QString& base, const QByteArray& catalogueName);

// The local name of a kind's download at time: the kind's prefix, then year, month, day,
// minute and millisecond in plain decimal, then its extension ("Tavo_DB20091157.tbn").
QString LocalDownloadName(ContentKind kind, const platform::LocalTime& time);

// The downloads of one page: per kind, the address of the last download and the file to
// program. The update wizard and the recovery page each own one.
class ServerDownloads
{
public:
    ServerDownloads() = default;

    // Fetches the kind's file into the documents folder under a name from the local time,
    // showing the download dialog modally (owned by owner) with the counter ordinal / total.
    // Sets the kind's URL and file to program (whether or not the download works). Returns 1
    // when the file was fetched, 0 when not. catalogueName is unused for firmware.
    int DownloadFromServer(ContentKind kind, std::uint32_t ordinal, std::uint32_t total,
                           const QByteArray& catalogueName, QWidget* owner);

    // The address of the kind's last download (empty before the first).
    QString Url(ContentKind kind) const { return m_url[KindIndex(kind)]; }
    // The file the kind's programming worker opens.
    QString FileToProgram(ContentKind kind) const { return m_fileToProgram[KindIndex(kind)]; }
    // Sets the kind's file to program, for a file the user chose.
    void SetFileToProgram(ContentKind kind, const QString& path)
    {
        m_fileToProgram[KindIndex(kind)] = path;
    }

    // Overrides the base address; empty (the default) reads the profile at each download.
    void SetBaseUrl(const QString& base) { m_baseOverride = base; }
    // Caps the receive rate of later downloads (bytes per second, 0 for none).
    void SetMaxReceiveRate(qint64 bytesPerSecond) { m_maxBytesPerSecond = bytesPerSecond; }

private:
    std::array<QString, kContentKindCount> m_url;
    std::array<QString, kContentKindCount> m_fileToProgram;
    QString m_baseOverride;
    qint64 m_maxBytesPerSecond = 0;
};
