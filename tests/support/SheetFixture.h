#pragma once

#include "TempHome.h"
#include "UnitFixture.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "platform/MessageBoxRecorder.h"
#include "ui/CProptySheet.h"

#include <QPointer>
#include <QtTest>
#include <functional>
#include <memory>

namespace testsupport {

// What a test of one page in the real main sheet holds: a temporary HOME, the application's
// texts as "ui-N" (so a test sees which text a control got), and per test function a fresh
// virtual unit, message-box recorder and sheet whose timers tick only when the test steps them.
template <typename Page> class SheetFixture : public QObject
{
protected:
    void Init(int checkDelayMs = 0)
    {
        for (int n = 0; n < CTavoApp::kTextCount; ++n)
            theApp().m_strText[static_cast<std::size_t>(n)] = QStringLiteral("ui-%1").arg(n);
        theApp().SetRegistryKey(CTavoApp::kRegistryKey);
        m_unit = std::make_unique<UnitFixture>(true, checkDelayMs);
        m_boxes = std::make_unique<platform::MessageBoxRecorder>();
    }
    void Cleanup()
    {
        m_sheet.reset();
        theApp().m_pSheet = nullptr;
        QCOMPARE(m_unit->unit().problems(), std::vector<std::string>{});
        m_boxes.reset();
        m_unit.reset();
    }
    void OpenSheet()
    {
        theApp().m_bConnected = 0;
        m_sheet = std::make_unique<CProptySheet>(theApp());
        theApp().m_pSheet = m_sheet.get();
        m_sheet->Timers().SetManual(true);
        m_sheet->show();
    }
    void Tick() { m_sheet->OnTimer(CProptySheet::kDetectionTimer); }
    // The sheet finds the unit and reads its identity; then beforeShowing runs and the sheet
    // shows page id (at tab position) as m_page.
    void Detect(CProptySheet::PageId id, int CTavoApp::*position,
                const std::function<void()>& beforeShowing = {})
    {
        Tick(); // connect
        Tick(); // read the identity
        if (beforeShowing)
            beforeShowing();
        m_page = qobject_cast<Page*>(m_sheet->Page(id));
        QVERIFY(m_page);
        m_sheet->SetActivePage(theApp().*position);
        QVERIFY(m_page->isVisible());
    }
    // The packets sent since the trace was cleared: commands by their letters, else "data".
    QStringList Commands() const
    {
        QStringList result;
        for (const auto& p : m_unit->sentPackets())
            result << (p[0] == '$' ? QString::fromLatin1(reinterpret_cast<const char*>(p.data()), 3)
                                   : QStringLiteral("data"));
        return result;
    }
    template <typename T> T* Control(int id) const
    {
        return m_page->template findChild<T*>(QString::number(id));
    }

    TempHome m_home;
    std::unique_ptr<UnitFixture> m_unit;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    std::unique_ptr<CProptySheet> m_sheet;
    QPointer<Page> m_page;
};

} // namespace testsupport
