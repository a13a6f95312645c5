#include "device/CPage_Diagnosis.h"

#include "app/TavoApp.h"
#include "link/CCrcCheck.h"
#include "link/Packets.h"
#include "link/SheetState.h"
#include "link/UsbLink.h"
#include "platform/MessageBox.h"

#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kIdFrame = 1155;
constexpr int kIdButton = 1156;
constexpr int kIdFirstResult = 1157;
constexpr int kIdFirstInformation = 1200;

constexpr int kTextDiagnosis = 117;
constexpr int kTextFirstResult = 118; // "Sound - ", "DB - ", "Image - "
constexpr int kTextNotChecked = 121;
constexpr int kTextIntact = 122;
constexpr int kTextDamaged = 123;

constexpr int kErrorBootMode = 6001;

// The "$RC" answer bytes of the result lines: sound, database, images.
constexpr std::array<std::size_t, 3> kResultBytes{62, 61, 60};

} // namespace

CPage_Diagnosis::CPage_Diagnosis(SheetState& sheet, QWidget* parent)
    : CPropertyPage(parent), m_sheet(sheet)
{
}

CPage_Diagnosis::~CPage_Diagnosis() = default;

void CPage_Diagnosis::CreateControls(QWidget* window)
{
    m_frame = WithId(new QGroupBox, kIdFrame);
    auto* checks = new QVBoxLayout(m_frame);
    m_button = WithId(new QPushButton, kIdButton);
    connect(m_button, &QPushButton::clicked, this, &CPage_Diagnosis::OnDiagnosis);
    checks->addWidget(m_button, 0, Qt::AlignLeft);
    for (std::size_t i = 0; i < m_results.size(); ++i) {
        m_results[i] = WithId(new QLabel, kIdFirstResult + static_cast<int>(i));
        checks->addWidget(m_results[i]);
    }

    auto* informationFrame = new QGroupBox(QStringLiteral("Information"));
    auto* information = new QVBoxLayout(informationFrame);
    for (std::size_t i = 0; i < m_information.size(); ++i) {
        m_information[i] = WithId(new QLabel, kIdFirstInformation + static_cast<int>(i));
        information->addWidget(m_information[i]);
    }

    auto* layout = new QVBoxLayout(window);
    layout->addWidget(m_frame);
    layout->addWidget(informationFrame);
    layout->addStretch();
}

void CPage_Diagnosis::OnInitDialog()
{
    const DeviceIdentity& identity = m_sheet.m_identity;
    m_information[0]->setText(QString::asprintf("HW_ID - %02d", static_cast<int>(identity.hwId)));
    m_information[1]->setText(QString::asprintf("DB Ver - %06d", identity.dbVersion));
    m_information[2]->setText(QString::asprintf("Voice Ver - %06d", identity.voiceVersion));
    m_information[3]->setText(QString::asprintf("Image Ver - %06d", identity.imageVersion));
}

void CPage_Diagnosis::OnRefresh()
{
    m_frame->setTitle(AppText(kTextDiagnosis));
    m_button->setText(AppText(kTextDiagnosis));
    const bool checked = theApp().m_bCheckDone.load() != 0;
    for (std::size_t i = 0; i < m_results.size(); ++i) {
        const int status = !checked ? kTextNotChecked : m_bIntact[i] ? kTextIntact : kTextDamaged;
        m_results[i]->setText(AppText(kTextFirstResult + static_cast<int>(i)) + AppText(status));
    }
}

void CPage_Diagnosis::ApplyEnableRule()
{
    m_button->setEnabled(theApp().m_bConnected.load() != 0 && m_sheet.LinkIdle());
}

void CPage_Diagnosis::OnDiagnosis()
{
    if (m_sheet.m_identity.bootMode) {
        platform::ShowErrorCode(kErrorBootMode, window());
        return;
    }
    m_sheet.SetDeviceBusy(true);
    theApp().m_bCheckDone = 0;
    Invalidate();

    BuildCommand("$BT", 0, 0, 1);
    if (!UsbTransactReport(false)) {
        m_sheet.SetDeviceBusy(false);
        return;
    }

    // The check dialog runs a nested event loop, in which the sheet may take this page's
    // window away; the page object itself lives as long as the sheet.
    const QPointer<CPage_Diagnosis> self(this);
    bool completed = false;
    {
        CCrcCheck check(window());
        completed = check.exec() == QDialog::Accepted && check.Done();
    }
    if (!self)
        return;
    if (completed) {
        // Only 1 means intact.
        for (std::size_t i = 0; i < m_bIntact.size(); ++i)
            m_bIntact[i] = g_ansPacket[kResultBytes[i]] == 1;
        theApp().m_bCheckDone = 1;
    }
    m_sheet.SetDeviceBusy(false);
    Invalidate();
}
