#pragma once

#include "TempHome.h"
#include "UnitFixture.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "link/SheetState.h"
#include "platform/MessageBoxRecorder.h"
#include "ui/CProptySheet.h"
#include "ui/MainSheet.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

namespace testsupport {

// UI text n as the page tests set it: "ui-NNN" (so a test sees which text a control got),
// except the lists 38 to 40, which hold the shipped English names.
inline QString UiText(int n)
{
    static const QHash<int, QString> lists{
        {38, QStringLiteral("EUROPE/FRANCE/CHINA/UNKNOWN")},
        {39, QStringLiteral("ENGLISH-voice/FRENCH-woman voice/UNKNOWN")},
        {40, QStringLiteral("ENGHISH-image/FRENCH-image/UNKNOWN")}};
    return lists.value(n, QStringLiteral("ui-%1").arg(n, 3, 10, QLatin1Char('0')));
}

// Gives the application object those texts, marks the unit connected, and selects the profile
// (under the test's temporary HOME) and empties it.
inline void PrepareApp()
{
    CTavoApp& app = theApp();
    for (int n = 0; n < CTavoApp::kTextCount; ++n)
        app.m_strText[static_cast<std::size_t>(n)] = UiText(n);
    app.m_bConnected = 1;
    app.SetRegistryKey(CTavoApp::kRegistryKey);
    QSettings(app.ProfileFilePath(), QSettings::IniFormat).clear();
}

// What a page test holds: a temporary HOME for the whole test case; per test function a fresh
// virtual unit, message-box recorder and sheet state. A page either stands alone on m_state
// (whose flag changes re-apply its enable rule, as the main sheet makes them do) or lives in
// the real main sheet, whose timers tick only when the test steps them.
template <typename Page> class SheetFixture : public QObject
{
protected:
    void Init(int checkDelayMs = 0)
    {
        PrepareApp();
        m_unit = std::make_unique<UnitFixture>(true, checkDelayMs);
        m_boxes = std::make_unique<platform::MessageBoxRecorder>();
        m_state = std::make_unique<SheetState>();
        m_state->SetFlagsChangedHandler([this] {
            QTimer::singleShot(0, this, [this] {
                if (m_page)
                    m_page->ApplyEnableRule();
            });
        });
    }
    // Every test leaves the link free, no worker running and the unit without bad input. The
    // fixture is torn down first, so that a failed check does not spoil the next test.
    void Cleanup()
    {
        bool idle = true;
        if constexpr (requires(Page & page) { page.WorkerRunning(); })
            if (m_page)
                idle = QTest::qWaitFor([this] { return !m_page->WorkerRunning(); }, 20000);
        idle = idle && QTest::qWaitFor([this] { return !State().m_bDeviceBusy.load(); }, 5000);
        m_sheet.reset();
        theApp().m_pSheet = nullptr;
        delete m_page.data();
        // Work a worker posted to the user-interface thread runs before the state goes.
        QCoreApplication::processEvents();
        m_state->SetFlagsChangedHandler({});
        m_state.reset();
        const std::vector<std::string> problems = m_unit->unit().problems();
        m_boxes.reset();
        m_unit.reset();
        QVERIFY2(idle, "the link is left busy");
        QCOMPARE(problems, std::vector<std::string>{});
    }

    // The main sheet (diagnosis unlocked) finds the unit and reads its identity; then
    // beforeShowing runs and the sheet shows page id as m_page.
    void OpenSheet(CProptySheet::PageId id, const std::function<void()>& beforeShowing = {})
    {
        theApp().m_bConnected = 0;
        m_sheet = CreateMainSheet(theApp());
        theApp().m_pSheet = m_sheet.get();
        m_sheet->m_bDiagnosisUnlocked = true;
        m_sheet->Timers().SetManual(true);
        m_sheet->show();
        Detect(id, beforeShowing);
    }
    void Tick() { m_sheet->OnTimer(CProptySheet::kDetectionTimer); }
    // Two ticks (connect, identity), beforeShowing, then page id is shown as m_page.
    void Detect(CProptySheet::PageId id, const std::function<void()>& beforeShowing = {})
    {
        Tick();
        Tick();
        if (beforeShowing)
            beforeShowing();
        ShowPage(id);
    }
    void ShowPage(CProptySheet::PageId id)
    {
        m_page = qobject_cast<Page*>(m_sheet->Page(id));
        QVERIFY(m_page);
        m_sheet->SetActivePage(m_sheet->TabControl()->indexOf(m_page));
        QVERIFY(m_page->isVisible());
    }
    template <typename T = QWidget> T* Control(int id) const
    {
        return m_page->template findChild<T*>(QString::number(id));
    }
    std::vector<std::vector<std::uint8_t>> Sent() const { return m_unit->sentPackets(); }
    // The packets sent since the trace was cleared: commands by their letters, else "data".
    QStringList Commands() const
    {
        QStringList result;
        for (const auto& p : Sent())
            result << (p[0] == '$' ? QString::fromLatin1(reinterpret_cast<const char*>(p.data()), 3)
                                   : QStringLiteral("data"));
        return result;
    }
    // The texts of the labels first to first + count - 1, joined by spaces.
    QString Labels(int first, int count) const
    {
        QStringList texts;
        for (int id = first; id < first + count; ++id)
            texts << Control<QLabel>(id)->text();
        return texts.join(u' ');
    }
    // The diagnosis results of sound, database and images.
    QString ResultLines() const { return Labels(1157, 3); }
    // The POI list's check boxes, 'x' ticked, '-' not.
    QString Ticks() const
    {
        const auto* list = Control<QTableWidget>(1152);
        QString ticks;
        for (int r = 0; r < list->rowCount(); ++r)
            ticks += list->item(r, 0)->checkState() == Qt::Checked ? u'x' : u'-';
        return ticks;
    }
    // Clicks the button, which runs a modal Dialog; act runs on the dialog once it is up,
    // inside its modal run.
    template <typename Dialog> void RunModal(int button, const std::function<void(Dialog&)>& act)
    {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &poll, [&poll, &act] {
            if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
                poll.stop();
                act(*dialog);
            }
        });
        poll.start(2);
        Control<QAbstractButton>(button)->click();
    }
    // The state the page works with: the sheet's once there is one.
    SheetState& State() { return m_sheet ? *m_sheet : *m_state; }

    TempHome m_home;
    std::unique_ptr<UnitFixture> m_unit;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    std::unique_ptr<SheetState> m_state;
    std::unique_ptr<CProptySheet> m_sheet;
    QPointer<Page> m_page;
};

} // namespace testsupport
