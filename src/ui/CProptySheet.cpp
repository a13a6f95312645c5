#include "ui/CProptySheet.h"

#include "app/PropertyPage.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "device/CPage_Diagnosis.h"
#include "device/CPage_Language.h"
#include "device/CPage_Poi.h"
#include "link/DeviceIdentity.h"
#include "link/UsbLink.h"
#include "ui/CPage_Connect.h"
#include "ui/CSplashScreenEx.h"
#include "update/CPage_Reset.h"
#include "update/CPage_Update.h"

#include <QApplication>
#include <QKeyEvent>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

const QString kTitleNoUnit = QStringLiteral("Tavo V0.9 [USB : X]");
const QString kTitleUnit = QStringLiteral("Tavo V0.9 [USB : OK]");

std::size_t Slot(CProptySheet::PageId id)
{
    return static_cast<std::size_t>(id);
}

} // namespace

CProptySheet::CProptySheet(CTavoApp& app, QWidget* parent)
    : QDialog(parent), m_app(app), m_tabs(new QTabWidget(this)),
      m_timers(new TimerSet([this](int id) { OnTimer(id); }, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    resize(760, 560);

    for (PageId id : {PageId::Connect, PageId::Update, PageId::Language, PageId::Poi,
                      PageId::Diagnosis, PageId::Reset})
        m_pages[Slot(id)] = CreatePage(id);

    SetFlagsChangedHandler([this] { QueueEnableRules(); });
    // The key chord must be seen whichever control of the sheet has the focus.
    qApp->installEventFilter(this);
}

CProptySheet::~CProptySheet()
{
    SetFlagsChangedHandler({});
    qApp->removeEventFilter(this);
    m_timers->KillAll();
    // Pages hold references to this sheet's state and catalogue: they go first.
    for (CPropertyPage*& page : m_pages)
        delete std::exchange(page, nullptr);
}

void CProptySheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_initialised && !event->spontaneous()) {
        m_initialised = true;
        OnInitDialog();
    }
}

void CProptySheet::OnInitDialog()
{
    // The tab widget has shown the active page, which ran that page's initialisation.
    SetDeviceBusy(false);
    SetReprogrammed(false);
    m_bIdentityPending = false;

    ReadVersionCatalogue(m_catalogue);

    SetTitle(false);

    // Shown and gone again before the first probe: the unit is looked for only afterwards.
    ShowSplash();

    m_timers->Set(kDetectionTimer, kDetectionPeriodMs);
}

void CProptySheet::ShowSplash()
{
    // Created with `new`: the splash deletes itself once its window is gone.
    auto* splash = new CSplashScreenEx;
    splash->Create(this, {}, kSplashDisplayMs,
                   CSplashScreenEx::kFadeIn | CSplashScreenEx::kFadeOut | CSplashScreenEx::kShadow |
                       CSplashScreenEx::kCenterScreen);
    SetSplashBitmap(*splash, m_app.m_strCurDir);
    splash->Show();
    // The sheet's own window appears only when this initialisation returns, after the hold.
    splash->Hold(kSplashHoldMs);
    splash->Hide();
}

void CProptySheet::SetTitle(bool connected)
{
    setWindowTitle(connected ? kTitleUnit : kTitleNoUnit);
}

void CProptySheet::OnTimer(int id)
{
    if (id != kDetectionTimer)
        return;

    if (m_bIdentityPending) {
        m_bIdentityPending = false;
        // A failed read keeps the identity as it was; the pages are rebuilt from it anyway.
        ReadIdentity(HwIdForm::TopThreeBits, m_identity);
        RebuildPages();
        SetActivePage(m_identity.bootMode ? m_app.m_nPageReset : 0);
    } else if (!m_app.m_bConnected) {
        const int handle = UsbProbe();
        if (handle == kInvalidHandle)
            return;
        UsbCloseHandle(handle);
        m_app.m_bConnected = 1;
        m_app.m_bCheckDone = 0;
        m_bIdentityPending = true;
        SetTitle(true);
        SetDeviceBusy(false);
        SetReprogrammed(false);
        QueueEnableRules();
    } else if (!m_bDeviceBusy) {
        const int handle = UsbProbe();
        if (handle != kInvalidHandle) {
            UsbCloseHandle(handle);
            return;
        }
        SetTitle(false);
        m_app.m_bConnected = 0;
        QueueEnableRules();
        RebuildPages();
    }
    // Connected and busy: the page that owns the link reports a lost unit itself.
}

int& CProptySheet::PositionOf(PageId id)
{
    switch (id) {
    case PageId::Connect:
        return m_app.m_nPageConnect;
    case PageId::Update:
        return m_app.m_nPageUpdate;
    case PageId::Language:
        return m_app.m_nPageLanguage;
    case PageId::Poi:
        return m_app.m_nPagePoi;
    case PageId::Diagnosis:
        return m_app.m_nPageDiagnosis;
    case PageId::Reset:
        break;
    }
    return m_app.m_nPageReset;
}

void CProptySheet::RebuildPages()
{
    for (PageId id :
         {PageId::Update, PageId::Language, PageId::Poi, PageId::Diagnosis, PageId::Reset}) {
        int& position = PositionOf(id);
        if (position != CTavoApp::kNoPage) {
            RemovePage(id);
            position = CTavoApp::kNoPage;
        }
    }

    if (m_app.m_bConnected && !m_identity.bootMode) {
        m_app.m_nPageUpdate = AddPage(PageId::Update);
        m_app.m_nPageLanguage = AddPage(PageId::Language);
        m_app.m_nPagePoi = AddPage(PageId::Poi);
        if (m_bDiagnosisUnlocked)
            m_app.m_nPageDiagnosis = AddPage(PageId::Diagnosis);
    }
    m_app.m_nPageReset = AddPage(PageId::Reset);
}

int CProptySheet::TitleTextOf(PageId id) const
{
    switch (id) {
    case PageId::Connect:
        return CPage_Connect::kTitleText;
    case PageId::Update:
        return CPage_Update::kTitleText;
    case PageId::Language:
        return CPage_Language::kTitleText;
    case PageId::Poi:
        return CPage_Poi::kTitleText;
    case PageId::Diagnosis:
        return CPage_Diagnosis::kTitleText;
    case PageId::Reset:
        break;
    }
    return CPage_Reset::kTitleText;
}

CPropertyPage* CProptySheet::CreatePage(PageId id)
{
    switch (id) {
    case PageId::Connect:
        return new CPage_Connect(m_app, *this);
    case PageId::Update:
        return new CPage_Update(*this, m_catalogue);
    case PageId::Language:
        return new CPage_Language(*this);
    case PageId::Poi:
        return new CPage_Poi(*this);
    case PageId::Diagnosis:
        return new CPage_Diagnosis(*this);
    case PageId::Reset:
        break;
    }
    return new CPage_Reset(*this);
}

int CProptySheet::AddPage(PageId id)
{
    CPropertyPage* page = m_pages[Slot(id)];
    const int existing = m_tabs->indexOf(page);
    if (existing >= 0)
        return existing;
    // A window of its own from now on; it initialises when it is first shown.
    page->CreateWindowState();
    const QString title = m_app.m_strText[static_cast<std::size_t>(TitleTextOf(id))];
    return m_tabs->addTab(page, title);
}

void CProptySheet::RemovePage(PageId id)
{
    CPropertyPage* page = m_pages[Slot(id)];
    const int index = m_tabs->indexOf(page);
    if (index < 0)
        return;
    // Leave the page for its left neighbour first; otherwise the tab widget would show (and so
    // initialise) its right neighbour on the way.
    if (index == m_tabs->currentIndex() && m_tabs->count() > 1)
        m_tabs->setCurrentIndex(index > 0 ? index - 1 : 1);
    m_tabs->removeTab(index);
    page->DestroyWindowState();
}

CPropertyPage* CProptySheet::Page(PageId id) const
{
    CPropertyPage* page = m_pages[Slot(id)];
    return m_tabs->indexOf(page) >= 0 ? page : nullptr;
}

void CProptySheet::SetActivePage(int position)
{
    if (position >= 0 && position < m_tabs->count())
        m_tabs->setCurrentIndex(position);
}

int CProptySheet::ActivePosition() const
{
    return m_tabs->currentIndex();
}

void CProptySheet::OnRetitle()
{
    const auto retitle = [this](int position, int text) {
        if (position != CTavoApp::kNoPage && position < m_tabs->count())
            m_tabs->setTabText(position, m_app.m_strText[static_cast<std::size_t>(text)]);
    };
    retitle(m_app.m_nPageConnect, CPage_Connect::kTitleText);
    if (m_app.m_bConnected) {
        retitle(m_app.m_nPageUpdate, CPage_Update::kTitleText);
        retitle(m_app.m_nPageLanguage, CPage_Language::kTitleText);
        retitle(m_app.m_nPagePoi, CPage_Poi::kTitleText);
    }
    if (m_bDiagnosisUnlocked)
        retitle(m_app.m_nPageDiagnosis, CPage_Diagnosis::kTitleText);
    retitle(m_app.m_nPageReset, CPage_Reset::kTitleText);
    SetActivePage(0);
}

void CProptySheet::OnRefreshIdentity()
{
    ReadIdentity(HwIdForm::AllBits, m_identity);
}

bool CProptySheet::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (type == QEvent::KeyRelease) {
                if (key->key() == Qt::Key_F7 && !key->isAutoRepeat())
                    m_f7Down = false;
            } else {
                if (key->key() == Qt::Key_F7)
                    m_f7Down = true;
                const bool ctrlHeld = key->modifiers().testFlag(Qt::ControlModifier);
                if ((key->key() == Qt::Key_F7 && ctrlHeld) ||
                    (key->key() == Qt::Key_Control && m_f7Down))
                    OnKeyChord();
            }
        }
    } else if (type == QEvent::WindowDeactivate && watched == this) {
        // The release of a key held while the window loses the focus never reaches it.
        m_f7Down = false;
    }
    // The keys always go on to their receiver.
    return QDialog::eventFilter(watched, event);
}

void CProptySheet::OnKeyChord()
{
    if (m_bDiagnosisUnlocked)
        return;
    m_bDiagnosisUnlocked = true;
    m_bRebuildPages = true;
    // Rebuilt from the event loop, where a paint-time rebuild belongs, not from inside the
    // key handling.
    QMetaObject::invokeMethod(this, &CProptySheet::RebuildIfRequested, Qt::QueuedConnection);
}

void CProptySheet::RebuildIfRequested()
{
    // Rebuilding takes the pages' windows away, and with them the timer of a page that is
    // running an operation on the unit: the request waits until the link is free again.
    if (!m_bRebuildPages || m_bDeviceBusy.load())
        return;
    m_bRebuildPages = false;
    RebuildPages();
}

void CProptySheet::QueueEnableRules()
{
    // Flags change on worker threads too; pages are only touched on the user-interface thread.
    QMetaObject::invokeMethod(this, &CProptySheet::ApplyEnableRules, Qt::QueuedConnection);
}

void CProptySheet::ApplyEnableRules()
{
    RebuildIfRequested();
    for (int i = 0; i < m_tabs->count(); ++i) {
        auto* page = qobject_cast<CPropertyPage*>(m_tabs->widget(i));
        if (page && page->isVisible())
            page->ApplyEnableRule();
    }
}
