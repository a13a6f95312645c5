#include "update/CPage_Reset.h"

#include "app/TavoApp.h"
#include "link/ContentWriter.h"
#include "link/Packets.h"
#include "link/SheetState.h"
#include "link/UsbLink.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "update/WorkerNotice.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

constexpr int kIdModeGroup = 1070;
constexpr int kIdAuto = 1068;
constexpr int kIdManual = 1069;
constexpr int kIdStepsGroup = 1058;
constexpr int kIdFirstLine = 1061;
constexpr int kIdPath = 1021;
constexpr int kIdBrowse = 1016;
constexpr int kIdUpdate = 1059;
constexpr int kIdProgress = 1060;

constexpr int kTextModeGroup = 127;
constexpr int kTextAuto = 128;
constexpr int kTextManual = 129;
constexpr int kTextStepsGroup = 130;
constexpr int kTextFirstAutoLine = 131;   // lines 1 to 6; the seventh is blank
constexpr int kTextFirstManualLine = 137; // lines 1 to 7
constexpr int kTextBrowse = 144;
constexpr int kTextUpdate = 145;
constexpr int kTextCompleted = 37;

constexpr int kErrorNotInBootMode = 7001;

const QString kBinFilter = QStringLiteral("Bin File(*.bin) |*.bin||");

} // namespace

CPage_Reset::CPage_Reset(SheetState& sheet, QWidget* parent) : CPropertyPage(parent), m_sheet(sheet)
{
}

CPage_Reset::~CPage_Reset() = default;

void CPage_Reset::CreateControls(QWidget* window)
{
    m_modeGroup = WithId(new QGroupBox, kIdModeGroup);
    m_auto = WithId(new QRadioButton, kIdAuto);
    m_manual = WithId(new QRadioButton, kIdManual);
    auto* modes = new QHBoxLayout(m_modeGroup);
    modes->addWidget(m_auto);
    modes->addWidget(m_manual);
    modes->addStretch();
    // Switching the mode changes the instructions and what is shown: the refresh decides.
    for (QRadioButton* radio : {m_auto, m_manual})
        connect(radio, &QRadioButton::clicked, this, [this] { Invalidate(); });

    m_stepsGroup = WithId(new QGroupBox, kIdStepsGroup);
    auto* steps = new QVBoxLayout(m_stepsGroup);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        m_lines[i] = WithId(new QLabel, kIdFirstLine + static_cast<int>(i));
        m_lines[i]->setWordWrap(true);
        steps->addWidget(m_lines[i]);
    }

    m_path = WithId(new QLineEdit, kIdPath);
    // The path is chosen with Browse only.
    m_path->setEnabled(false);
    m_browse = WithId(new QPushButton, kIdBrowse);
    connect(m_browse, &QPushButton::clicked, this, &CPage_Reset::OnBrowse);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_path, 1);
    pathRow->addWidget(m_browse);
    steps->addLayout(pathRow);

    m_progressBar = WithId(new QProgressBar, kIdProgress);
    // The control's default: range 0 to 100, position 0.
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_update = WithId(new QPushButton, kIdUpdate);
    connect(m_update, &QPushButton::clicked, this, &CPage_Reset::OnUpdateButton);
    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(m_progressBar, 1);
    bottomRow->addWidget(m_update);

    auto* layout = new QVBoxLayout(window);
    layout->addWidget(m_modeGroup);
    layout->addWidget(m_stepsGroup);
    layout->addLayout(bottomRow);
    layout->addStretch();
}

void CPage_Reset::OnInitDialog()
{
    m_auto->setChecked(true);
    OnRefresh();
}

bool CPage_Reset::IsAutoMode() const
{
    return m_auto->isChecked();
}

void CPage_Reset::OnRefresh()
{
    m_modeGroup->setTitle(AppText(kTextModeGroup));
    m_auto->setText(AppText(kTextAuto));
    m_manual->setText(AppText(kTextManual));
    m_stepsGroup->setTitle(AppText(kTextStepsGroup));
    m_browse->setText(AppText(kTextBrowse));
    m_update->setText(AppText(kTextUpdate));

    const bool autoMode = IsAutoMode();
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const int line = static_cast<int>(i);
        if (!autoMode)
            m_lines[i]->setText(AppText(kTextFirstManualLine + line));
        else if (line < 6)
            m_lines[i]->setText(AppText(kTextFirstAutoLine + line));
        else
            m_lines[i]->setText(QStringLiteral(" "));
    }
    m_path->setVisible(!autoMode);
    m_browse->setVisible(!autoMode);
    PushData();
}

void CPage_Reset::ApplyEnableRule()
{
    m_update->setEnabled(theApp().m_bConnected.load() != 0 && m_sheet.LinkIdle());
}

void CPage_Reset::PullData()
{
    m_strChosenPath = m_path->text();
}

void CPage_Reset::PushData()
{
    m_path->setText(m_strChosenPath);
}

QWidget* CPage_Reset::DialogOwner()
{
    return window();
}

void CPage_Reset::OnBrowse()
{
    PullData();
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Open;
    request.filter = kBinFilter;
    request.fileMustExist = true;
    // The dialog runs a nested event loop, in which the sheet may take this page away.
    const QPointer<CPage_Reset> self(this);
    const QString chosen = platform::GetFileName(request, DialogOwner());
    if (!self)
        return;
    if (!chosen.isEmpty())
        m_strChosenPath = chosen;
    m_strFileToProgram = m_strChosenPath;
    PushData();
}

bool CPage_Reset::Download()
{
    const int fetched =
        m_downloads.DownloadFromServer(ContentKind::Firmware, 1, 1, {}, DialogOwner());
    m_strFileToProgram = m_downloads.FileToProgram(ContentKind::Firmware);
    m_strDownloadUrl = m_downloads.Url(ContentKind::Firmware);
    return fetched != 0;
}

void CPage_Reset::OnUpdateButton()
{
    if (!m_sheet.m_identity.bootMode) {
        platform::ShowErrorCode(kErrorNotInBootMode, DialogOwner());
        return;
    }
    m_sheet.SetDeviceBusy(true);
    Invalidate();

    // The answer is not decoded: the exchange only proves that the unit still responds.
    BuildCommand("$RH", 0, 0, 1);
    if (!UsbTransactReport(false)) {
        m_sheet.SetDeviceBusy(false);
        return;
    }

    if (IsAutoMode()) {
        if (!Download()) {
            m_sheet.SetDeviceBusy(false);
            return;
        }
    } else {
        if (m_strChosenPath.isEmpty()) {
            m_sheet.SetDeviceBusy(false);
            return;
        }
        m_strFileToProgram = m_strChosenPath;
    }

    m_sheet.SetReprogrammed(true);
    StartRecoveryWorker();
}

void CPage_Reset::StartRecoveryWorker()
{
    const QPointer<CPage_Reset> page(this);
    TransferJob job;
    job.filePath = m_strFileToProgram;
    job.kind = ContentKind::Firmware;
    job.codes = kRecoveryFirmwareCodes;
    job.progress = std::make_shared<TransferProgress>();
    job.sheetFlags = m_sheet.Flags();
    // Runs on the worker thread after each packet, with (packet × 100) >> 10. The bar is
    // moved on the user-interface thread, once per new value (the first always).
    job.onPercent = [page, shown = ~std::uint32_t{0}](std::uint32_t percent) mutable {
        if (percent == shown)
            return;
        shown = percent;
        PostToUiThread([page, percent] {
            if (page)
                page->m_progressBar->setValue(static_cast<int>(percent));
        });
    };
    // Runs on the worker thread after the last packet. The link stays busy until the user
    // has closed the notice.
    job.onComplete = [page, flags = m_sheet.Flags(), notice = AppText(kTextCompleted)] {
        PostToUiThread([page] {
            if (page)
                page->m_progressBar->setValue(100);
        });
        ShowCompletionNotice(notice, page);
        flags->SetDeviceBusy(false);
    };
    m_worker.Start(&WriteFirmwareFile, std::move(job));
}
