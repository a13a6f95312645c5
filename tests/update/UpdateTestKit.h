#pragma once

// What the update group's tests share besides the page fixture: the virtual unit's update tree
// on a real FTP server, a stand-in for the download dialog's timer, and a reading of the unit's
// trace in the protocol's own terms.

#include "ServerProcess.h"
#include "SheetFixture.h"
#include "TestFiles.h"

#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

class CPage_Update;
class DnProgress;

namespace updatetest {

using testsupport::PrepareApp;
using testsupport::UiText;

using Packets = std::vector<std::vector<std::uint8_t>>;

// Points the profile string "UpdateServer" at base.
void SetUpdateServer(const QString& base);

// The virtual unit's update tree (its catalogue, three areas, two voice and two image sets
// and a firmware, all newer than a fresh unit holds) in a temporary folder, served for real.
class ServedTree
{
public:
    ServedTree() : m_server(m_root.path()) {}
    // Writes the tree with content files of about these sizes and starts the server.
    bool Start(QString* error, std::uint32_t db = 1024, std::uint32_t voice = 640,
               std::uint32_t image = 256);
    // The folder that holds the catalogue.
    QString Root() const { return m_root.path(); }
    // The server's base address, and the local path of a file below it ("/DB/x.tbn").
    QString Base() const { return m_server.url(QStringLiteral("/down/fw/Tavo")); }
    QString Path(const QString& file) const;

private:
    QTemporaryDir m_root;
    testsupport::FtpServer m_server;
};

// Stands in for the download dialog's 1,000 ms timer while a dialog runs modally: ticks timer
// 11001 every few milliseconds (that it runs at all shows that the transfer leaves the event
// loop free), and records each dialog as it appears, as "1 / 4 <address without base>".
class DownloadStepper final : public QObject
{
public:
    // onDialog, when given, runs as each dialog appears.
    explicit DownloadStepper(QString base = {}, std::function<void()> onDialog = {});

    QStringList m_seen;

private:
    QString m_base;
    std::function<void()> m_onDialog;
    QTimer m_timer;
    QPointer<DnProgress> m_current;
};

// Clicks the wizard's UPDATE, ticking each download dialog (onDialog runs as each appears);
// returns the downloads as "1 / 4 <address below the profile's update server>".
QStringList Update(CPage_Update* page, const std::function<void()>& onDialog = {});
// Ticks the wizard's stage timer once, waits for the worker it may have started (or for the
// page to go), and lets what the worker posted run.
void StageTick(CPage_Update* page);

// The host's packets read as the protocol frames them: a command as its three letters ("$BT");
// a stream header as "$WDS <address hex> <length> <count> +<n>" (or "$WFE ..."), n being the
// number of data packets that followed it (at most count).
QStringList Describe(const Packets& sent);
// The data packets that followed the stream header at position header, joined.
QByteArray StreamData(const Packets& sent, std::size_t header);

using testsupport::PatternBytes;
using testsupport::ReadFile;
using testsupport::WriteFile;

} // namespace updatetest
