#include "update/CPage_Update.h"

#include "app/TavoApp.h"
#include "link/ContentWriter.h"
#include "link/Packets.h"
#include "link/SheetState.h"
#include "link/UsbLink.h"
#include "platform/MessageBox.h"
#include "update/Bitmaps.h"
#include "update/UpdateRules.h"
#include "update/VersionCatalogue.h"
#include "update/WorkerNotice.h"

#include <algorithm>

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// Control ids, texts and bitmaps of one kind's frame.
struct KindResources
{
    int frame;
    int list; // 0: no list
    int version;
    int icon;
    int status;
    int illustration;
    int bitmap;
    int versionPrefixText;
    int listText;
    int downloadingText;
    int downloadFailedText;
    int programmingText;
};

constexpr std::array<KindResources, kContentKindCount> kResources{{
    {1163, 1081, 1177, 1209, 1210, 1205, kBitmapRoadMap, 12, 38, 28, 23, 32},
    {1165, 1035, 1178, 1211, 1212, 1206, kBitmapMicrophone, 16, 39, 29, 24, 33},
    {1167, 1049, 1179, 1213, 1214, 1207, kBitmapUnitScreen, 18, 40, 30, 25, 34},
    {1169, 0, 1180, 1215, 1216, 1208, kBitmapCircuitBoard, 20, 0, 31, 26, 35},
}};

constexpr int kIdAuto = 1161;
constexpr int kIdManual = 1162;
constexpr int kIdUpdate = 1171;
constexpr int kIdProgress = 1023;
constexpr int kIdStep = 1176;
constexpr int kIdStatus = 1181;

constexpr int kTextAuto = 9;
constexpr int kTextManual = 10;
constexpr int kTextUpdate = 13;
constexpr int kTextNothingToUpdate = 27;
constexpr int kTextCurrent = 36;
constexpr int kTextCompleted = 37;
constexpr int kTextNeedsUpdate = 147;

constexpr int kErrorBootMode = 8001;

const QString kOnUpdate = QStringLiteral("OnUpdate");

const KindResources& ResourcesOf(ContentKind kind)
{
    return kResources[KindIndex(kind)];
}

void WriteOnUpdate(int value)
{
    theApp().WriteProfileInt(CTavoApp::kProfileSection, kOnUpdate, value);
}

} // namespace

CPage_Update::CPage_Update(SheetState& sheet, const VersionCatalogue& catalogue, QWidget* parent)
    : CPropertyPage(parent), m_sheet(sheet), m_catalogue(catalogue),
      m_progress(std::make_shared<TransferProgress>())
{
}

CPage_Update::~CPage_Update() = default;

void CPage_Update::CreateControls(QWidget* window)
{
    m_auto = WithId(new QRadioButton, kIdAuto);
    m_manual = WithId(new QRadioButton, kIdManual);
    // There is no manual update: the button is only shown, never usable.
    m_manual->setEnabled(false);
    auto* modes = new QHBoxLayout;
    modes->addWidget(m_auto);
    modes->addWidget(m_manual);
    modes->addStretch();

    auto* frames = new QGridLayout;
    for (ContentKind kind : kAllContentKinds) {
        const KindResources& res = ResourcesOf(kind);
        KindControls& c = m_kinds[KindIndex(kind)];
        c.frame = WithId(new QGroupBox, res.frame);
        c.illustration = WithId(new QLabel, res.illustration);
        c.illustration->setPixmap(LoadBitmap(res.bitmap));
        c.illustration->setFixedSize(c.illustration->sizeHint());
        c.version = WithId(new QLabel, res.version);
        c.icon = WithId(new QLabel, res.icon);
        c.icon->setFixedSize(32, 32);
        c.status = WithId(new QLabel, res.status);
        c.status->setWordWrap(true);

        auto* statusRow = new QHBoxLayout;
        statusRow->addWidget(c.icon);
        statusRow->addWidget(c.status, 1);
        auto* column = new QVBoxLayout;
        if (res.list != 0) {
            c.list = WithId(new QComboBox, res.list);
            c.list->setMinimumContentsLength(16);
            column->addWidget(c.list);
        }
        column->addWidget(c.version);
        column->addLayout(statusRow);
        column->addStretch();
        auto* inside = new QHBoxLayout(c.frame);
        inside->addWidget(c.illustration, 0, Qt::AlignTop);
        inside->addLayout(column, 1);

        const int slot = static_cast<int>(KindIndex(kind));
        frames->addWidget(c.frame, slot / 2, slot % 2);
        if (c.list) {
            connect(c.list, &QComboBox::currentIndexChanged, this,
                    [this, kind](int index) { OnListChanged(kind, index); });
        }
    }

    m_progressBar = WithId(new QProgressBar, kIdProgress);
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_stepLabel = WithId(new QLabel, kIdStep);
    m_stepLabel->setMinimumWidth(60);
    m_statusLabel = WithId(new QLabel, kIdStatus);
    m_update = WithId(new QPushButton, kIdUpdate);
    connect(m_update, &QPushButton::clicked, this, &CPage_Update::OnUpdateButton);

    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(m_progressBar, 1);
    progressRow->addWidget(m_stepLabel);
    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(m_statusLabel, 1);
    bottomRow->addWidget(m_update);

    auto* layout = new QVBoxLayout(window);
    layout->addLayout(modes);
    layout->addLayout(frames);
    layout->addLayout(progressRow);
    layout->addLayout(bottomRow);
    layout->addStretch();
}

void CPage_Update::OnInitDialog()
{
    const DeviceIdentity& identity = m_sheet.m_identity;
    for (ContentKind kind : {ContentKind::Db, ContentKind::Voice, ContentKind::Image})
        m_nChosen[KindIndex(kind)] = UnitIndex(identity, kind);
    // Read once per page window: a run that started and never completed is redone in full.
    m_bResume = theApp().GetProfileInt(CTavoApp::kProfileSection, kOnUpdate, 0) != 0;
    OnRefresh();
}

void CPage_Update::OnRefresh()
{
    m_auto->setText(AppText(kTextAuto));
    m_auto->setChecked(true);
    m_manual->setText(AppText(kTextManual));
    for (ContentKind kind : {ContentKind::Db, ContentKind::Voice, ContentKind::Image})
        FillList(kind);
    m_update->setText(AppText(kTextUpdate));
    RefreshVersionStatus();
    PushData();
}

void CPage_Update::FillList(ContentKind kind)
{
    QComboBox* list = m_kinds[KindIndex(kind)].list;
    // Filling the list is no choice of the user's.
    const QSignalBlocker blocker(list);
    list->clear();
    const QString& names = AppText(ResourcesOf(kind).listText);
    // A count the catalogue refused ("Error[1001]" and friends) is kept as read; the list
    // still stops at the catalogue's 50 entries rather than filling without end.
    const int count = std::min(CatalogueCount(m_catalogue, kind), VersionCatalogue::kMaxEntries);
    for (int i = 0; i < count; ++i)
        list->addItem(theApp().GetSlashItem(names, i));
    // An entry the catalogue does not list leaves the list without a selection.
    const std::uint32_t chosen = m_nChosen[KindIndex(kind)];
    list->setCurrentIndex(
        chosen < static_cast<std::uint32_t>(list->count()) ? static_cast<int>(chosen) : -1);
}

void CPage_Update::OnListChanged(ContentKind kind, int index)
{
    if (index < 0)
        return;
    m_nChosen[KindIndex(kind)] = static_cast<std::uint32_t>(index);
    RefreshVersionStatus();
}

bool CPage_Update::IsCurrent(ContentKind kind) const
{
    return IsKindCurrent(kind, m_sheet.m_identity, m_catalogue, m_nChosen[KindIndex(kind)],
                         m_bResume);
}

void CPage_Update::RefreshVersionStatus()
{
    for (ContentKind kind : kAllContentKinds) {
        const KindResources& res = ResourcesOf(kind);
        const KindControls& c = m_kinds[KindIndex(kind)];
        c.version->setText(AppText(res.versionPrefixText) +
                           VersionLabelNumber(m_sheet.m_identity, kind));
        const bool current = IsCurrent(kind);
        c.status->setText(AppText(current ? kTextCurrent : kTextNeedsUpdate));
        c.icon->setPixmap(LoadBitmap(current ? kBitmapCurrent : kBitmapNeedsUpdate));
    }
}

void CPage_Update::ApplyEnableRule()
{
    m_update->setEnabled(theApp().m_bConnected.load() != 0 && m_sheet.LinkIdle());
}

void CPage_Update::PushData()
{
    m_stepLabel->setText(m_strStep);
    m_statusLabel->setText(m_strStatus);
}

void CPage_Update::SetStatusText(int text)
{
    m_strStatus = AppText(text);
    PushData();
}

bool CPage_Update::AutoUpdatePlan()
{
    for (ContentKind kind : kAllContentKinds) {
        if (!IsCurrent(kind)) {
            m_bNeeded[KindIndex(kind)] = 1;
            ++m_nTotal;
        }
    }

    // Each download dialog runs a nested event loop, in which the sheet may take this page's
    // window away (the unit was unplugged). The plan goes on: the page object stays, and the
    // link check after the downloads reports the missing unit.
    std::uint32_t ordinal = 0;
    for (ContentKind kind : kAllContentKinds) {
        if (!IsNeeded(kind))
            continue;
        const KindResources& res = ResourcesOf(kind);
        SetStatusText(res.downloadingText);
        ++ordinal;
        const QByteArray name = CatalogueName(m_catalogue, kind, m_nChosen[KindIndex(kind)]);
        const int fetched =
            m_downloads.DownloadFromServer(kind, ordinal, m_nTotal, name, DialogOwner());
        if (!fetched) {
            m_progress->error.store(1);
            platform::MessageBox(AppText(res.downloadFailedText), {}, platform::MsgButtons::Ok,
                                 DialogOwner());
            return false;
        }
    }
    return true;
}

QWidget* CPage_Update::DialogOwner()
{
    return window();
}

void CPage_Update::OnUpdateButton()
{
    if (m_sheet.m_identity.bootMode) {
        platform::ShowErrorCode(kErrorBootMode, DialogOwner());
        return;
    }

    m_bNeeded.fill(0);
    m_progress->error.store(0);
    m_nTotal = 0;
    if (!AutoUpdatePlan())
        return;
    if (m_nTotal == 0) {
        platform::MessageBox(AppText(kTextNothingToUpdate), {}, platform::MsgButtons::Ok,
                             DialogOwner());
        return;
    }

    KillTimer(kStageTimer);
    m_sheet.SetDeviceBusy(true);
    Invalidate();

    // A fresh progress block (done flags, error flag and percent clear), only now that the
    // run really starts: a refused click leaves an earlier run's state as it was. Nothing
    // that a worker of an earlier run still holds can reach this one.
    m_bStarted.fill(0);
    m_progress = std::make_shared<TransferProgress>();

    BuildCommand("$BT", 0, 0, 1);
    if (!UsbTransactReport(false)) {
        m_progress->error.store(1);
        m_sheet.SetDeviceBusy(false);
        return;
    }

    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_nStep = 0;
    m_strStep = QString::asprintf("%d / %d", m_nStep, m_nTotal);
    PushData();

    WriteOnUpdate(kRunUnderWay);
    SetTimer(kStageTimer, kFirstStagePeriodMs);
}

void CPage_Update::OnTimer(int id)
{
    if (id == kStageTimer)
        UpdateStageTimer();
}

void CPage_Update::NextStep()
{
    ++m_nStep;
    m_strStep = QString::asprintf("%d / %d", m_nStep, m_nTotal);
    PushData();
}

void CPage_Update::StartContentStage(ContentKind kind)
{
    m_bStarted[KindIndex(kind)] = 1;
    if (!IsNeeded(kind)) {
        MarkDone(kind);
        return;
    }
    SetStatusText(ResourcesOf(kind).programmingText);
    NextStep();

    TransferJob job;
    job.filePath = m_downloads.FileToProgram(kind);
    job.kind = kind;
    job.codes = UpdateWizardCodes(kind);
    job.progress = m_progress;
    job.sheetFlags = m_sheet.Flags();
    m_worker.Start(&WriteContentFile, std::move(job));
}

void CPage_Update::StartFirmwareStage()
{
    m_bStarted[KindIndex(ContentKind::Firmware)] = 1;
    if (!IsNeeded(ContentKind::Firmware)) {
        CompleteWithoutFirmware();
        return;
    }

    // Announces the firmware write to a unit that runs normally.
    BuildCommand("$WB", 0, 0, 1);
    if (!UsbTransactReport(false)) {
        m_progress->error.store(1);
        m_sheet.SetDeviceBusy(false);
        return;
    }
    SetStatusText(ResourcesOf(ContentKind::Firmware).programmingText);
    NextStep();
    m_sheet.SetReprogrammed(true);

    TransferJob job;
    job.filePath = m_downloads.FileToProgram(ContentKind::Firmware);
    job.kind = ContentKind::Firmware;
    job.codes = UpdateWizardCodes(ContentKind::Firmware);
    job.progress = m_progress;
    job.sheetFlags = m_sheet.Flags();
    // Runs on the worker thread; the page may be gone by the time it runs.
    job.onComplete = [page = QPointer<CPage_Update>(this), flags = m_sheet.Flags(),
                      notice = AppText(kTextCompleted)] {
        WriteOnUpdate(0);
        ShowCompletionNotice(notice, page);
        // The box has been closed. The timer belongs to the page and is stopped on the
        // user-interface thread; the link is freed there too, right after it, so the sheet
        // sees it free only once the run has ended.
        PostToUiThread([page, flags] {
            if (page)
                page->KillTimer(kStageTimer);
            flags->SetDeviceBusy(false);
        });
    };
    m_worker.Start(&WriteFirmwareFile, std::move(job));
}

void CPage_Update::CompleteWithoutFirmware()
{
    MarkDone(ContentKind::Firmware);
    WriteOnUpdate(0);
    // Shown from the event loop, not from inside this tick: a timer never ticks again while
    // its own handler waits in a box, and the stage timer must go on while the notice is open
    // (its next tick ends the run and frees the link). The sheet may then rebuild its pages:
    // the page may be gone when the box closes.
    PostToUiThread([page = QPointer<CPage_Update>(this), notice = AppText(kTextCompleted)] {
        ShowCompletionNotice(notice, page);
        if (!page)
            return;
        page->m_strStatus.clear();
        page->PushData();
    });
}

void CPage_Update::UpdateStageTimer()
{
    const QPointer<CPage_Update> self(this);
    if (!StageStarted(ContentKind::Db)) {
        SetTimer(kStageTimer, kStagePeriodMs);
        StartContentStage(ContentKind::Db);
    } else if (!StageDone(ContentKind::Db)) {
        // The database worker runs.
    } else if (!StageStarted(ContentKind::Voice)) {
        // From here on the unit's content is being replaced: the action buttons stay grey
        // until the unit is detected again.
        m_sheet.SetReprogrammed(true);
        StartContentStage(ContentKind::Voice);
    } else if (!StageDone(ContentKind::Voice)) {
        // The voice worker runs.
    } else if (!StageStarted(ContentKind::Image)) {
        StartContentStage(ContentKind::Image);
    } else if (!StageDone(ContentKind::Image)) {
        // The image worker runs.
    } else if (!StageStarted(ContentKind::Firmware)) {
        StartFirmwareStage();
    } else if (StageDone(ContentKind::Firmware)) {
        m_sheet.SetDeviceBusy(false);
        KillTimer(kStageTimer);
    }
    // Otherwise the firmware worker runs, or a stage failed: the timer only shows progress.

    // A box shown by the branch may have outlived the page.
    if (!self)
        return;
    m_progressBar->setValue(static_cast<int>(m_progress->percent.load()));
    PushData();
}
