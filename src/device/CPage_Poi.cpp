#include "device/CPage_Poi.h"

#include "app/TavoApp.h"
#include "device/PoiFile.h"
#include "link/Packets.h"
#include "link/SheetState.h"
#include "link/UsbLink.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"

#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

namespace {

constexpr int kIdList = 1152;
constexpr int kIdView = 1154;
constexpr int kIdUpdate = 1150;
constexpr int kIdSave = 1151;
constexpr int kIdLoad = 1153;
constexpr int kIdCount = 1021;

constexpr int kTextView = 110;
constexpr int kTextUpdate = 111; // also the caption of the question
constexpr int kTextSave = 112;
constexpr int kTextLoad = 113;
constexpr int kTextColumns = 114;
constexpr int kTextQuestion = 115;
constexpr int kTextCompleted = 108;
constexpr int kTextSent = 122;

constexpr std::array<int, kPoiColumns> kColumnWidths{40, 80, 80, 120, 120, 120};

constexpr int kErrorViewBootMode = 5001;
constexpr int kErrorUpdateBootMode = 5002;
constexpr int kErrorHandshake = 5003;
constexpr int kErrorStore1Header = 5004;
constexpr int kErrorStore1Data = 5005;
constexpr int kErrorStore2Header = 5006;
constexpr int kErrorStore2Data = 5007;
constexpr int kErrorCreateFile = 5008;
constexpr int kErrorOpenFile = 5009;
constexpr int kErrorReadFile = 5010;
constexpr int kErrorTooManyRows = 5011;

constexpr std::uint32_t kStorePackets = kPoiStoreSize / kPacketSize; // 25
constexpr qint64 kReadChunk = 64 * 1024;

const QString kPoiFilter = QStringLiteral("POI File(*.txt) |*.txt||");
const QString kPoiFileName = QStringLiteral("Poi.txt");

QTableWidgetItem* NewItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

CPage_Poi::CPage_Poi(SheetState& sheet, QWidget* parent) : CPropertyPage(parent), m_sheet(sheet) {}

CPage_Poi::~CPage_Poi() = default;

void CPage_Poi::CreateControls(QWidget* window)
{
    m_list = WithId(new QTableWidget, kIdList);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    m_list->horizontalHeader()->setHighlightSections(false);
    // A tick (or any change of an item) re-runs the enable rule.
    connect(m_list, &QTableWidget::itemChanged, this, [this] { Invalidate(); });
    connect(m_list, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { OnSendPoi(row); });
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &CPage_Poi::OnHeaderClick);

    m_view = WithId(new QPushButton, kIdView);
    m_update = WithId(new QPushButton, kIdUpdate);
    m_save = WithId(new QPushButton, kIdSave);
    m_load = WithId(new QPushButton, kIdLoad);
    m_count = WithId(new QLineEdit, kIdCount);
    m_count->setReadOnly(true);
    m_count->setMaximumWidth(60);
    connect(m_view, &QPushButton::clicked, this, &CPage_Poi::OnView);
    connect(m_update, &QPushButton::clicked, this, &CPage_Poi::OnUpdatePoi);
    connect(m_save, &QPushButton::clicked, this, &CPage_Poi::OnSave);
    connect(m_load, &QPushButton::clicked, this, &CPage_Poi::OnLoad);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_count);
    buttons->addStretch();
    for (QPushButton* button : {m_view, m_update, m_save, m_load})
        buttons->addWidget(button);

    auto* layout = new QVBoxLayout(window);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
}

void CPage_Poi::OnInitDialog()
{
    m_bColumnsCreated = false;
    m_bSelectAll = false;
    m_bLoadedFromFile = false;
    OnRefresh();
    PushData();
}

void CPage_Poi::OnRefresh()
{
    m_view->setText(AppText(kTextView));
    m_update->setText(AppText(kTextUpdate));
    m_save->setText(AppText(kTextSave));
    m_load->setText(AppText(kTextLoad));
    m_list->setShowGrid(true);

    const QStringList titles = AppText(kTextColumns).split(QLatin1Char('/'));
    if (!m_bColumnsCreated) {
        m_list->setColumnCount(kPoiColumns);
        for (int column = 0; column < kPoiColumns; ++column)
            m_list->setColumnWidth(column, kColumnWidths[static_cast<std::size_t>(column)]);
    }
    QStringList labels;
    for (int column = 0; column < kPoiColumns; ++column)
        labels << titles.value(column);
    m_list->setHorizontalHeaderLabels(labels);
    m_bColumnsCreated = true;
}

void CPage_Poi::ApplyEnableRule()
{
    const bool linkFree = theApp().m_bConnected.load() != 0 && m_sheet.LinkIdle();
    m_view->setEnabled(linkFree);
    m_update->setEnabled(linkFree && (m_bLoadedFromFile || AnyChecked()));
}

QWidget* CPage_Poi::DialogOwner()
{
    return window();
}

void CPage_Poi::PushData()
{
    m_count->setText(m_strCount);
}

PoiRow CPage_Poi::RowAt(int row) const
{
    PoiRow texts;
    for (int column = 0; column < kPoiColumns; ++column)
        if (const QTableWidgetItem* item = m_list->item(row, column))
            texts[static_cast<std::size_t>(column)] = item->text();
    return texts;
}

std::vector<PoiRow> CPage_Poi::Rows() const
{
    std::vector<PoiRow> rows;
    for (int r = 0; r < m_list->rowCount(); ++r)
        rows.push_back(RowAt(r));
    return rows;
}

void CPage_Poi::ShowRows(const std::vector<PoiRow>& rows)
{
    // One refresh for the whole list, not one per item.
    const QSignalBlocker blocker(m_list);
    m_list->setRowCount(0);
    m_list->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < m_list->rowCount(); ++r) {
        const PoiRow& row = rows[static_cast<std::size_t>(r)];
        QTableWidgetItem* first = NewItem(row[0]);
        first->setFlags(first->flags() | Qt::ItemIsUserCheckable);
        first->setCheckState(Qt::Unchecked);
        m_list->setItem(r, 0, first);
        // A loaded file may hold many rows with few texts: empty cells get no item.
        for (int column = 1; column < kPoiColumns; ++column)
            if (const QString& text = row[static_cast<std::size_t>(column)]; !text.isEmpty())
                m_list->setItem(r, column, NewItem(text));
    }
    Invalidate();
}

bool CPage_Poi::AnyChecked() const
{
    for (int r = 0; r < m_list->rowCount(); ++r)
        if (m_list->item(r, 0)->checkState() == Qt::Checked)
            return true;
    return false;
}

void CPage_Poi::SetAllChecked(bool checked)
{
    for (int r = 0; r < m_list->rowCount(); ++r)
        m_list->item(r, 0)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

bool CPage_Poi::ReadStore(std::uint32_t address)
{
    for (std::uint32_t k = 0; k < kStorePackets; ++k) {
        BuildCommand("$RD", address + kPacketSize * k, kPacketSize, 1);
        if (!UsbTransactReport(true)) {
            m_sheet.SetDeviceBusy(false);
            return false;
        }
        std::memcpy(m_store.bytes.data() + kPacketSize * k, g_ansPacket.data(), kPacketSize);
    }
    return true;
}

void CPage_Poi::OnView()
{
    if (m_sheet.m_identity.bootMode) {
        platform::ShowErrorCode(kErrorViewBootMode, DialogOwner());
        return;
    }
    BuildCommand("$BT", 0, 0, 1);
    if (!UsbTransactReport(false)) {
        m_sheet.SetDeviceBusy(false);
        return;
    }
    if (!ReadStore(kPoiStore1Address))
        return;
    if (m_store.FirstByteErased() && !ReadStore(kPoiStore2Address))
        return;

    const std::vector<PoiRow> rows = m_store.ListedRows();
    ShowRows(rows);
    m_strCount = QString::number(rows.size());
    PushData();
}

bool CPage_Poi::WriteStore(std::uint32_t address, int headerCode, int dataCode)
{
    BuildCommand("$WD", address, kPoiStoreSize, kStorePackets);
    if (!UsbWritePacket()) {
        platform::ShowErrorCode(headerCode, DialogOwner());
        m_sheet.SetDeviceBusy(false);
        return false;
    }
    for (std::uint32_t k = 0; k < kStorePackets; ++k) {
        std::memcpy(g_cmdPacket.data(), m_store.bytes.data() + kPacketSize * k, kPacketSize);
        if (!UsbWritePacket()) {
            platform::ShowErrorCode(dataCode, DialogOwner());
            m_sheet.SetDeviceBusy(false);
            return false;
        }
    }
    return true;
}

void CPage_Poi::OnUpdatePoi()
{
    if (m_sheet.m_identity.bootMode) {
        platform::ShowErrorCode(kErrorUpdateBootMode, DialogOwner());
        return;
    }
    const auto keptRows = [this] {
        std::vector<PoiRow> kept;
        for (int r = 0; r < m_list->rowCount(); ++r)
            if (m_list->item(r, 0)->checkState() != Qt::Checked)
                kept.push_back(RowAt(r));
        return kept;
    };
    // A store has 100 slots: refuse before asking rather than write part of the list.
    if (keptRows().size() > kPoiSlots) {
        platform::ShowErrorCode(kErrorTooManyRows, DialogOwner());
        return;
    }

    // The box runs a nested event loop, in which the sheet may take this page away.
    const QPointer<CPage_Poi> self(this);
    const platform::MsgAnswer answer = platform::MessageBox(
        AppText(kTextQuestion), AppText(kTextUpdate), platform::MsgButtons::YesNo, DialogOwner());
    if (!self)
        return;
    if (answer != platform::MsgAnswer::Yes) {
        m_bSelectAll = false;
        SetAllChecked(false);
        return;
    }
    const std::optional<PoiStore> store = PoiStore::Of(keptRows());
    if (!store)
        return; // the list cannot change while the box is open
    m_store = *store;

    BuildCommand("$BT", 0, 0, 1);
    if (!UsbTransactReport(false)) {
        platform::ShowErrorCode(kErrorHandshake, DialogOwner());
        m_sheet.SetDeviceBusy(false);
        return;
    }
    if (!WriteStore(kPoiStore1Address, kErrorStore1Header, kErrorStore1Data) ||
        !WriteStore(kPoiStore2Address, kErrorStore2Header, kErrorStore2Data))
        return;

    OnView();
    m_bLoadedFromFile = false;
    platform::MessageBox(AppText(kTextCompleted), {}, platform::MsgButtons::Ok, DialogOwner());
    if (self)
        Invalidate();
}

QString CPage_Poi::AskFileName(platform::FileDialogMode mode)
{
    platform::FileDialogRequest request;
    request.mode = mode;
    request.filter = kPoiFilter;
    request.defaultName = kPoiFileName;
    request.fileMustExist = mode == platform::FileDialogMode::Open;
    // The dialog runs a nested event loop, in which the sheet may take this page away.
    const QPointer<CPage_Poi> self(this);
    const QString path = platform::GetFileName(request, DialogOwner());
    return self ? path : QString();
}

void CPage_Poi::OnSave()
{
    const QString path = AskFileName(platform::FileDialogMode::Save);
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        platform::ShowErrorCode(kErrorCreateFile, DialogOwner());
        return;
    }
    file.write(PoiFileOf(Rows()));
}

void CPage_Poi::OnLoad()
{
    const QString path = AskFileName(platform::FileDialogMode::Open);
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        platform::ShowErrorCode(kErrorOpenFile, DialogOwner());
        return;
    }

    // The file's length counts: a file that yields fewer bytes stops the reading.
    const qint64 length = file.size();
    m_list->setRowCount(0);
    PoiFileReader reader;
    for (qint64 done = 0; done < length;) {
        const QByteArray chunk = file.read(std::min(kReadChunk, length - done));
        if (chunk.isEmpty()) {
            ShowRows(reader.Rows());
            platform::ShowErrorCode(kErrorReadFile, DialogOwner());
            return;
        }
        reader.Feed(chunk);
        done += chunk.size();
    }
    reader.Finish();
    ShowRows(reader.Rows());
    m_bLoadedFromFile = true;
    m_strCount = QString::number(reader.Rows().size());
    PushData();
}

void CPage_Poi::OnSendPoi(int row)
{
    if (row < 0 || row >= m_list->rowCount())
        return;
    const PoiRow texts = RowAt(row);
    const QString text = QStringLiteral("   Lat : %1 \n   Lon : %2\n   Angle : %3")
                             .arg(texts[3], texts[4], texts[5]);
    if (platform::MessageBox(text, QStringLiteral("Send Poi"), platform::MsgButtons::YesNo,
                             DialogOwner()) == platform::MsgAnswer::Yes)
        platform::MessageBox(AppText(kTextSent), {}, platform::MsgButtons::Ok, DialogOwner());
}

void CPage_Poi::OnHeaderClick(int column)
{
    if (column != 0)
        return;
    m_bSelectAll = !m_bSelectAll;
    SetAllChecked(m_bSelectAll);
}
