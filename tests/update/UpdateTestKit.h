#pragma once

// What the update group's tests share: the application object set up for a page, the
// virtual unit's update tree on a real FTP server, a stand-in for the download dialog's
// timer, a reading of the unit's trace in the protocol's own terms, and the fixture of the
// page tests.

#include "FtpServer.h"
#include "TempHome.h"
#include "UnitFixture.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "link/SheetState.h"
#include "platform/MessageBoxRecorder.h"
#include "ui/CProptySheet.h"
#include "ui/MainSheet.h"

#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstdint>
#include <functional>
#include <vector>

class DnProgress;
class QWidget;

namespace updatetest {

using Packets = std::vector<std::vector<std::uint8_t>>;

// Fills the application object's texts with "ui-NNN" (so a test sees which text a control
// got), except the lists 38 to 40, which get the shipped English names; marks the unit
// connected, selects the profile (under the test's temporary HOME) and empties it.
void PrepareApp();
// The text PrepareApp gave UI text n.
QString UiText(int n);
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

// The host's packets read as the protocol frames them: a command as its three letters ("$BT");
// a stream header as "$WDS <address hex> <length> <count> +<n>" (or "$WFE ..."), n being the
// number of data packets that followed it (at most count).
QStringList Describe(const Packets& sent);
// The data packets that followed the stream header at position header, joined.
QByteArray StreamData(const Packets& sent, std::size_t header);

// size bytes that depend only on seed.
QByteArray PatternBytes(int size, std::uint32_t seed);
bool WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);

// What a page test holds: a temporary HOME and the served update tree for the whole test case;
// per test function a fresh virtual unit, message-box recorder and sheet state, whose flag
// changes re-apply the page's enable rule as the main sheet makes them do.
template <typename Page> class PageFixture : public QObject
{
protected:
    void Init()
    {
        PrepareApp();
        SetUpdateServer(m_tree.Base());
        m_unit = std::make_unique<testsupport::UnitFixture>();
        m_boxes = std::make_unique<platform::MessageBoxRecorder>();
        m_state = std::make_unique<SheetState>();
        m_state->SetFlagsChangedHandler([this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_page)
                        m_page->ApplyEnableRule();
                },
                Qt::QueuedConnection);
        });
    }
    // Every test leaves the link free, and no worker running (on a page that has one).
    void Cleanup()
    {
        if constexpr (requires(Page & page) { page.WorkerRunning(); })
            if (m_page)
                QVERIFY(QTest::qWaitFor([this] { return !m_page->WorkerRunning(); }, 20000));
        QTRY_COMPARE(State().m_bDeviceBusy.load(), 0);
        m_sheet.reset();
        theApp().m_pSheet = nullptr;
        delete m_page.data();
        // Work a worker posted to the user-interface thread runs before the state goes.
        QCoreApplication::processEvents();
        m_state->SetFlagsChangedHandler({});
        m_state.reset();
        m_boxes.reset();
        m_unit.reset();
    }
    // The main sheet finds the unit, reads its identity and shows its page id as m_page. Its
    // timers tick only when a test steps them.
    void OpenSheet(CProptySheet::PageId id, int CTavoApp::*position)
    {
        theApp().m_bConnected = 0;
        m_sheet = CreateMainSheet(theApp());
        theApp().m_pSheet = m_sheet.get();
        m_sheet->Timers().SetManual(true);
        m_sheet->show();
        for (int tick = 0; tick < 2; ++tick) // connect, then read the identity
            m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        m_page = qobject_cast<Page*>(m_sheet->Page(id));
        QVERIFY(m_page);
        m_sheet->SetActivePage(theApp().*position);
        QVERIFY(m_page->isVisible());
    }
    template <typename T = QWidget> T* Control(int id) const
    {
        return m_page->template findChild<T*>(QString::number(id));
    }
    Packets Sent() const { return m_unit->sentPackets(); }
    // The state the page works with: the sheet's once there is one.
    SheetState& State() { return m_sheet ? *m_sheet : *m_state; }

    testsupport::TempHome m_home;
    ServedTree m_tree;
    std::unique_ptr<testsupport::UnitFixture> m_unit;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    std::unique_ptr<SheetState> m_state;
    std::unique_ptr<CProptySheet> m_sheet;
    QPointer<Page> m_page;
};

} // namespace updatetest
