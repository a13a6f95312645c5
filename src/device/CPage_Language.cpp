#include "device/CPage_Language.h"

#include "app/TavoApp.h"
#include "link/SheetState.h"
#include "platform/MessageBox.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringList>
#include <QVBoxLayout>

namespace {

// The frames of the page. Alerts lies inside Sound, Day and Night inside Screen.
enum Frame : std::size_t
{
    Warning,
    Sound,
    Alerts,
    Screen,
    Day,
    Night,
    Country,
    SpeedLimit,
    Information,
    DbActivation
};

struct FrameSpec
{
    int id;
    int text;
    Frame parent; // itself for a top-level frame
    int column;   // top-level frames: the page column that holds it
};

// Indexed by Frame.
constexpr std::array<FrameSpec, CPage_Language::kFrameCount> kFrames{{
    {1094, 56, Warning, 0},
    {1097, 61, Sound, 0},
    {1100, 63, Sound, 0},
    {1113, 85, Screen, 1},
    {1114, 86, Screen, 1},
    {1121, 87, Screen, 1},
    {1132, 77, Country, 2},
    {1139, 96, SpeedLimit, 2},
    {1146, 100, Information, 1},
    {1187, 102, DbActivation, 2},
}};
constexpr int kColumnCount = 3;

enum class Entries
{
    Words,   // UI texts
    Numbers, // format applied to first, first + step, ...
    Hours    // the 24 hours in the record's time format
};

struct ListSpec
{
    std::size_t offset; // record byte
    int id;
    int labelId;
    int labelText;
    Frame frame;
    Entries entries;
    std::array<int, 3> words; // Words: the entries' UI texts, 0 past the last
    const char* format;       // Numbers
    int first;
    int step;
    int count;
};

constexpr ListSpec Words(std::size_t offset, int id, int labelId, int labelText, Frame frame,
                         std::array<int, 3> words)
{
    return {offset, id, labelId, labelText, frame, Entries::Words, words, nullptr, 0, 0, 0};
}

constexpr ListSpec Numbers(std::size_t offset, int id, int labelId, int labelText, Frame frame,
                           const char* format, int first, int step, int count)
{
    return {offset, id,     labelId, labelText, frame, Entries::Numbers,
            {},     format, first,   step,      count};
}

constexpr ListSpec Hours(std::size_t offset, int id, int labelId, int labelText, Frame frame)
{
    return {offset, id, labelId, labelText, frame, Entries::Hours, {}, nullptr, 0, 0, 0};
}

constexpr std::array<int, 3> kOnOff{72, 73, 0};
constexpr std::array<int, 3> kAlertSound{68, 69, 70};
constexpr std::array<int, 3> kColours{91, 92, 93};

// In the order the page shows them within each frame.
constexpr std::array<ListSpec, CPage_Language::kListCount> kLists{{
    Words(0, 1096, 1095, 57, Warning, {58, 59, 0}),
    Numbers(26, 1035, 1185, 60, Warning, "%d Sec", 5, 1, 26),
    Numbers(1, 1099, 1098, 62, Sound, "%d %%", 0, 10, 11),
    Words(2, 1102, 1101, 64, Alerts, kAlertSound),
    Words(3, 1104, 1103, 65, Alerts, kAlertSound),
    Words(4, 1106, 1105, 66, Alerts, kAlertSound),
    Words(5, 1108, 1107, 67, Alerts, kAlertSound),
    Words(6, 1110, 1109, 71, Sound, kOnOff),
    Numbers(27, 1073, 1182, 74, Sound, "%d", 10, 5, 5),
    Words(7, 1112, 1111, 75, Sound, kOnOff),
    Words(8, 1155, 1154, 76, Sound, kOnOff),
    Hours(9, 1116, 1115, 88, Day),
    Numbers(10, 1118, 1117, 89, Day, "%02d %%", 30, 10, 8),
    Words(11, 1120, 1119, 90, Day, kColours),
    Hours(12, 1123, 1122, 88, Night),
    Numbers(13, 1125, 1124, 89, Night, "%02d %%", 30, 10, 8),
    Words(14, 1127, 1126, 90, Night, kColours),
    Words(15, 1129, 1128, 94, Screen, kOnOff),
    Words(16, 1131, 1130, 95, Screen, kOnOff),
    Numbers(17, 1134, 1133, 78, Country, "UTC %+d", -11, 1, 24),
    Words(18, 1136, 1135, 79, Country, {80, 81, 0}),
    Words(19, 1138, 1137, 82, Country, {83, 84, 0}),
    Words(20, 1143, 1140, 97, SpeedLimit, kOnOff),
    Numbers(28, 1074, 1183, 74, SpeedLimit, "%d", 20, 10, 29),
    Words(21, 1144, 1141, 98, SpeedLimit, kOnOff),
    Numbers(29, 1075, 1020, 74, SpeedLimit, "%d", 20, 10, 29),
    Words(22, 1145, 1142, 99, SpeedLimit, kOnOff),
    Numbers(30, 1076, 1184, 74, SpeedLimit, "%d", 20, 10, 29),
    Words(23, 1148, 1147, 101, Information, kOnOff),
    Words(31, 1152, 1188, 102, DbActivation, {103, 104, 0}),
}};

constexpr std::size_t kTimeFormatByte = 18; // 0: 12-hour, else 24-hour

constexpr int kIdLoad = 1149;
constexpr int kIdReset = 1150;
constexpr int kIdSave = 1151;
constexpr int kTextLoad = 105;
constexpr int kTextReset = 106;
constexpr int kTextSave = 107;
constexpr int kTextSaved = 108;

constexpr int kErrorLoadBootMode = 4001;
constexpr int kErrorResetBootMode = 4002;
constexpr int kErrorSaveBootMode = 4003;
constexpr int kErrorSaveHandshake = 4004;
constexpr int kErrorSaveCommand = 4005;
constexpr int kErrorSaveData = 4006;

constexpr std::uint8_t kNoSelection = 255;

QString HourEntry(int hour, bool twelveHour)
{
    if (!twelveHour)
        return QString::asprintf("%02d:00", hour);
    if (hour < 12)
        return QString::asprintf("AM %02d:00", hour);
    if (hour == 12)
        return QStringLiteral("PM 12:00");
    return QString::asprintf("PM %02d:00", hour - 12);
}

QStringList EntriesOf(const ListSpec& list, bool twelveHour)
{
    QStringList entries;
    switch (list.entries) {
    case Entries::Words:
        for (int text : list.words)
            if (text != 0)
                entries << AppText(text);
        break;
    case Entries::Numbers:
        for (int i = 0; i < list.count; ++i)
            entries << QString::asprintf(list.format, list.first + list.step * i);
        break;
    case Entries::Hours:
        for (int hour = 0; hour < 24; ++hour)
            entries << HourEntry(hour, twelveHour);
        break;
    }
    return entries;
}

} // namespace

CPage_Language::CPage_Language(SheetState& sheet, QWidget* parent)
    : CPropertyPage(parent), m_sheet(sheet)
{
}

CPage_Language::~CPage_Language() = default;

void CPage_Language::CreateControls(QWidget* window)
{
    std::array<QGridLayout*, kFrameCount> grids{};
    std::array<bool, kFrameCount> placed{};
    for (std::size_t f = 0; f < kFrameCount; ++f) {
        m_frames[f] = WithId(new QGroupBox, kFrames[f].id);
        grids[f] = new QGridLayout(m_frames[f]);
        grids[f]->setColumnStretch(1, 1);
    }

    // Rows go in table order; an inner frame takes its place in its outer frame where its
    // first row comes.
    for (std::size_t i = 0; i < kListCount; ++i) {
        const ListSpec& spec = kLists[i];
        const std::size_t frame = spec.frame;
        const std::size_t outer = kFrames[frame].parent;
        if (outer != frame && !placed[frame]) {
            grids[outer]->addWidget(m_frames[frame], grids[outer]->rowCount(), 0, 1, 2);
            placed[frame] = true;
        }
        m_labels[i] = WithId(new QLabel, spec.labelId);
        m_lists[i] = WithId(new QComboBox, spec.id);
        m_lists[i]->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        m_labels[i]->setBuddy(m_lists[i]);
        const int row = grids[frame]->rowCount();
        grids[frame]->addWidget(m_labels[i], row, 0);
        grids[frame]->addWidget(m_lists[i], row, 1);
        connect(m_lists[i], &QComboBox::currentIndexChanged, this, &CPage_Language::OnListChanged);
    }

    auto* columns = new QHBoxLayout;
    std::array<QVBoxLayout*, kColumnCount> column{};
    for (auto& c : column) {
        c = new QVBoxLayout;
        columns->addLayout(c, 1);
    }
    for (std::size_t f = 0; f < kFrameCount; ++f)
        if (kFrames[f].parent == f)
            column[static_cast<std::size_t>(kFrames[f].column)]->addWidget(m_frames[f]);
    for (QVBoxLayout* c : column)
        c->addStretch();

    m_load = WithId(new QPushButton, kIdLoad);
    m_reset = WithId(new QPushButton, kIdReset);
    m_save = WithId(new QPushButton, kIdSave);
    connect(m_load, &QPushButton::clicked, this, &CPage_Language::OnLoad);
    connect(m_reset, &QPushButton::clicked, this, &CPage_Language::OnReset);
    connect(m_save, &QPushButton::clicked, this, &CPage_Language::OnSave);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {m_load, m_reset, m_save})
        buttons->addWidget(button);

    auto* layout = new QVBoxLayout(window);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);
}

void CPage_Language::OnInitDialog()
{
    m_bDirty = false;
    Fill();
    InitialRead();
}

void CPage_Language::OnShowPage()
{
    Fill();
}

void CPage_Language::OnRefresh()
{
    Fill();
}

void CPage_Language::ApplyEnableRule()
{
    const bool available = LinkAvailable();
    m_load->setEnabled(available);
    m_save->setEnabled(available && m_bDirty);
}

bool CPage_Language::LinkAvailable() const
{
    return theApp().m_bConnected.load() != 0 && m_sheet.LinkIdle();
}

QWidget* CPage_Language::DialogOwner()
{
    return window();
}

void CPage_Language::Fill()
{
    for (std::size_t f = 0; f < kFrameCount; ++f)
        m_frames[f]->setTitle(AppText(kFrames[f].text));
    m_load->setText(AppText(kTextLoad));
    m_reset->setText(AppText(kTextReset));
    m_save->setText(AppText(kTextSave));

    const bool twelveHour = m_record[kTimeFormatByte] == 0;
    for (std::size_t i = 0; i < kListCount; ++i) {
        m_labels[i]->setText(AppText(kLists[i].labelText));
        const QSignalBlocker quiet(m_lists[i]);
        m_lists[i]->clear();
        m_lists[i]->addItems(EntriesOf(kLists[i], twelveHour));
        // The layout may not squeeze a list below its longest entry.
        m_lists[i]->setMinimumWidth(m_lists[i]->sizeHint().width());
    }
    Apply();
}

void CPage_Language::Apply()
{
    for (std::size_t i = 0; i < kListCount; ++i) {
        const int position = m_record[kLists[i].offset];
        const QSignalBlocker quiet(m_lists[i]);
        m_lists[i]->setCurrentIndex(position < m_lists[i]->count() ? position : -1);
    }
}

void CPage_Language::Collect()
{
    for (std::size_t i = 0; i < kListCount; ++i) {
        const int position = m_lists[i]->currentIndex();
        m_record[kLists[i].offset] =
            position < 0 ? kNoSelection : static_cast<std::uint8_t>(position);
    }
}

void CPage_Language::OnListChanged()
{
    m_bDirty = true;
    Collect();
    // The refresh rebuilds the lists, so a new time format rewrites the hour lists.
    Invalidate();
}

void CPage_Language::InitialRead()
{
    // Without a read (the link busy, boot mode, or a failed step, which has shown the link's
    // own message and copied nothing) the page shows the defaults and offers Save.
    const bool read = m_sheet.m_bDeviceBusy.load() == 0 && !m_sheet.m_identity.bootMode &&
                      SettingsReadAtCreation(m_sheet.m_identity.fwVersion, m_record);
    if (!read)
        m_record = kDefaultSettings;
    Apply();
    m_bDirty = !read;
}

bool CPage_Language::RefusedInBootMode(int errorCode)
{
    if (!m_sheet.m_identity.bootMode)
        return false;
    platform::ShowErrorCode(errorCode, DialogOwner());
    return true;
}

void CPage_Language::OnLoad()
{
    if (!LinkAvailable())
        return;
    if (RefusedInBootMode(kErrorLoadBootMode))
        return;
    if (!SettingsLoad(m_record)) {
        m_sheet.SetDeviceBusy(false);
        return;
    }
    Apply();
    m_bDirty = false;
    Invalidate();
}

void CPage_Language::OnReset()
{
    if (RefusedInBootMode(kErrorResetBootMode))
        return;
    m_bDirty = true;
    m_record = kDefaultSettings;
    Apply();
    Invalidate();
}

void CPage_Language::OnSave()
{
    if (!LinkAvailable())
        return;
    if (RefusedInBootMode(kErrorSaveBootMode))
        return;
    Collect();

    int error = 0;
    if (!SettingsHandshake()) {
        error = kErrorSaveHandshake;
    } else {
        switch (SettingsWrite(m_record)) {
        case SettingsWriteResult::Done:
            break;
        case SettingsWriteResult::CommandFailed:
            error = kErrorSaveCommand;
            break;
        case SettingsWriteResult::DataFailed:
            error = kErrorSaveData;
            break;
        }
    }
    if (error != 0) {
        platform::ShowErrorCode(error, DialogOwner());
        m_sheet.SetDeviceBusy(false);
        return;
    }
    platform::MessageBox(AppText(kTextSaved), {}, platform::MsgButtons::Ok, DialogOwner());
    m_bDirty = false;
    Invalidate();
}
