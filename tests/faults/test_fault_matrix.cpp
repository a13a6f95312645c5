// Every exchange the program makes with the unit, under each fault the virtual unit offers
// where it applies, in one table: the codes the user sees, in order; the link free afterwards;
// what the page keeps; and the same exchange succeeding once the unit is plugged in again.
// The table is the documentation: with -table the program prints it as Markdown instead.
//
// Left out, because they cannot happen: nak, short and stall on the probe (it reads no answer)
// and on the streams and writes (no answer is read between their packets); a write failure on
// the probe (it opens no pipe); nak, short and stall on a "$RD" that follows a "$BT" (a fault
// arms the next answer, which is the "$BT"'s).

#include "SheetFixture.h"
#include "UpdateTestKit.h"
#include "device/CPage_Language.h"
#include "device/CPage_Poi.h"
#include "link/CCrcCheck.h"
#include "platform/FileDialogRecorder.h"
#include "update/CPage_Reset.h"
#include "update/CPage_Update.h"

#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QTableWidget>
#include <cstdio>
#include <thread>

using namespace Qt::StringLiterals;
using namespace updatetest;
using Id = CProptySheet::PageId;

namespace {

enum class Ex
{
    Probe,
    Identity,
    WizardBt,
    WizardWb,
    Db,
    Voice,
    Image,
    Firmware,
    ResetRh,
    ResetWorker,
    Load,
    Save,
    View,
    UpdatePoi,
    DiagnosisBt,
    Check
};

// Per exchange, in the order of Ex: its page, its name and what the user still has after a fault.
struct Exchange
{
    Id page;
    const char* name;
    const char* kept;
};
const Exchange kExchanges[] = {
    {Id::Connect, "Sheet: presence probe", "Connection and Reset tabs, title \"[USB : X]\""},
    {Id::Connect, "Sheet: `$RH` identity", "the identity as before; the pages are rebuilt from it"},
    {Id::Update, "Update wizard: `$BT`", "downloaded file on disk; `OnUpdate` unset"},
    {Id::Update, "Update wizard: `$WB`", "downloaded file on disk; `OnUpdate` = 165"},
    {Id::Update, "Update wizard: DB stage",
     "downloaded file on disk; `OnUpdate` = 165; the same page runs again at once"},
    {Id::Update, "Update wizard: voice stage", "downloaded file on disk; `OnUpdate` = 165"},
    {Id::Update, "Update wizard: image stage", "downloaded file on disk; `OnUpdate` = 165"},
    {Id::Update, "Update wizard: firmware stage",
     "downloaded file on disk; `OnUpdate` = 165; a cut stream brings the unit back in boot mode"},
    {Id::Reset, "Recovery: `$RH`", "chosen path; Update usable at once"},
    {Id::Reset, "Recovery: worker", "chosen path; Update grey until re-plug"},
    {Id::Language, "Settings: Load", "record and dirty flag unchanged"},
    {Id::Language, "Settings: Save", "collected record, dirty flag set"},
    {Id::Poi, "POI: View", "list and check boxes"},
    {Id::Poi, "POI: Update POI", "list and check boxes; the unit holds what reached it"},
    {Id::Diagnosis, "Diagnosis: `$BT`", "results \"Not Checked.\""},
    {Id::Diagnosis, "Diagnosis: `$RC` (check dialog)",
     "results \"Not Checked.\"; dialog open until closed"},
};
const Exchange& Of(Ex ex)
{
    return kExchanges[static_cast<int>(ex)];
}

struct Row
{
    Ex ex;
    QString fault;   // as `tavo-unit ctl fault` takes it, or "file gone"
    QString failing; // the packet that fails
    QString codes;   // the message boxes shown, in order
};

std::vector<Row> Rows()
{
    std::vector<Row> rows;
    const auto add = [&rows](Ex ex, const char* fault, const char* failing, const QString& codes) {
        rows.push_back({ex, QString::fromLatin1(fault), QString::fromLatin1(failing), codes});
    };
    // The six faults of a command that waits for its answer; then the page's own code, if any.
    const auto exchange = [&add](Ex ex, const char* command, const QString& own = {},
                                 bool reported = true) {
        const std::pair<const char*, const char*> faults[] = {
            {"unplug", "Error[9001]"}, {"unplug 1", "Error[9002]"}, {"nak", "Error[9003]"},
            {"short", "Error[9002]"},  {"stall", "Error[9002]"},    {"write-fail", "Error[9001]"}};
        for (const auto& [fault, link] : faults)
            add(ex, fault, command, reported ? (QLatin1String(link) + own).trimmed() : QString());
    };
    add(Ex::Probe, "unplug", "probe", {});
    exchange(Ex::Identity, "`$RH`", {}, false);
    exchange(Ex::WizardBt, "`$BT`");
    exchange(Ex::WizardWb, "`$WB`");
    const std::pair<Ex, int> stages[] = {{Ex::Db, 8003}, {Ex::Voice, 8008}, {Ex::Image, 8013}};
    for (const auto& [ex, first] : stages) {
        add(ex, "file gone", "none", platform::ErrorText(first + 1));
        add(ex, "unplug", "`$WDS`", platform::ErrorText(first + 2));
        add(ex, "unplug 2", "data", platform::ErrorText(first + 3));
        add(ex, "write-fail 2", "data", platform::ErrorText(first + 3));
    }
    add(Ex::Firmware, "file gone", "none", u"Error[8019]"_s);
    add(Ex::Firmware, "write-fail 1", "`$WFE`", u"Error[8020]"_s);
    add(Ex::Firmware, "unplug 3", "data", u"Error[8021]"_s);
    add(Ex::Firmware, "write-fail 3", "data", u"Error[8021]"_s);
    exchange(Ex::ResetRh, "`$RH`");
    // A file of 1,000 bytes: fifteen data packets, then zero packets.
    add(Ex::ResetWorker, "file gone", "none", u"Error[7003]"_s);
    add(Ex::ResetWorker, "write-fail 1", "`$WFE`", u"Error[7004]"_s);
    add(Ex::ResetWorker, "unplug 3", "data", u"Error[7005]"_s);
    add(Ex::ResetWorker, "write-fail 5", "data", u"Error[7005]"_s);
    add(Ex::ResetWorker, "write-fail 20", "zero packet", u"Error[7006]"_s);
    exchange(Ex::Load, "`$BT`");
    add(Ex::Load, "unplug 2", "`$RD`", u"Error[9002]"_s);
    add(Ex::Load, "write-fail 1", "`$RD`", u"Error[9001]"_s);
    exchange(Ex::Save, "`$BT`", u" Error[4004]"_s);
    add(Ex::Save, "write-fail 1", "`$WD`", u"Error[4005]"_s);
    add(Ex::Save, "unplug 2", "data", u"Error[4006]"_s);
    add(Ex::Save, "write-fail 2", "data", u"Error[4006]"_s);
    exchange(Ex::View, "`$BT`");
    add(Ex::View, "unplug 3", "2nd `$RD`", u"Error[9002]"_s);
    add(Ex::View, "write-fail 3", "3rd `$RD`", u"Error[9001]"_s);
    exchange(Ex::UpdatePoi, "`$BT`", u" Error[5003]"_s);
    add(Ex::UpdatePoi, "write-fail 1", "1st `$WD`", u"Error[5004]"_s);
    add(Ex::UpdatePoi, "unplug 3", "1st store data", u"Error[5005]"_s);
    add(Ex::UpdatePoi, "write-fail 27", "2nd `$WD`", u"Error[5006]"_s);
    add(Ex::UpdatePoi, "unplug 30", "2nd store data", u"Error[5007]"_s);
    add(Ex::UpdatePoi, "write-fail 28", "2nd store data", u"Error[5007]"_s);
    exchange(Ex::DiagnosisBt, "`$BT`");
    exchange(Ex::Check, "`$RC`");
    return rows;
}

int PrintTable()
{
    std::printf("| Exchange | Fault | Fails at | Codes shown | Link free | What survives |\n"
                "|---|---|---|---|---|---|\n");
    for (const Row& r : Rows())
        std::printf("| %s | `%s` | %s | %s | yes | %s |\n", Of(r.ex).name, qPrintable(r.fault),
                    qPrintable(r.failing), r.codes.isEmpty() ? "none" : qPrintable(r.codes),
                    Of(r.ex).kept);
    return 0;
}

const QString kRecoveryFile = u"recovery.bin"_s;

} // namespace

Q_DECLARE_METATYPE(Row)

class TestFaultMatrix final : public testsupport::SheetFixture<CPropertyPage>
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_tree.Start(&error), qPrintable(error));
        QVERIFY(QDir::setCurrent(m_tree.Root())); // where the sheet reads the catalogue
    }
    void init()
    {
        Init();
        SetUpdateServer(m_tree.Base());
        QDir documents(testsupport::TempHome::documents());
        QVERIFY(documents.removeRecursively() && documents.mkpath(u"."_s));
        QVERIFY(WriteFile(m_work.filePath(kRecoveryFile), PatternBytes(1000, 1)));
    }
    void cleanup() // also fails a test that leaves the link busy
    {
        m_unplugger = {};
        Cleanup();
    }
    void faults_data()
    {
        QTest::addColumn<Row>("row");
        for (const Row& r : Rows())
            QTest::addRow("%s, %s", Of(r.ex).name, qPrintable(r.fault)) << r;
    }
    // Each page's exchanges: the page brought to the moment before the exchange; the exchange
    // made under the fault; what the user still has; and, the fault cleared and the unit
    // plugged in again, the same exchange going through.
    void faults()
    {
        QFETCH(Row, row);
        const Id page = Of(row.ex).page;
        m_unit->unit().control("poi-seed 5");
        if (page == Id::Reset) // held in boot mode
            Replug(true, 0);
        OpenSheet(page);
        m_boxes->clear();
        // Each page's script, in the order of Id.
        using Script = void (TestFaultMatrix::*)(const Row&);
        const Script byPage[] = {
            &TestFaultMatrix::SheetExchange,     &TestFaultMatrix::WizardExchange,
            &TestFaultMatrix::SettingsExchange,  &TestFaultMatrix::PoiExchange,
            &TestFaultMatrix::DiagnosisExchange, &TestFaultMatrix::RecoveryExchange};
        (this->*byPage[static_cast<int>(page)])(row);
    }

private:
    // The probe; the identity read of a unit plugged in again, now in boot mode.
    void SheetExchange(const Row& row)
    {
        const bool identity = row.ex == Ex::Identity;
        if (identity)
            Replug(true, 2);
        Fault(row, [this] { Tick(); });
        if (identity) {
            Identified(false);
        } else {
            QVERIFY(!m_sheet->Page(Id::Update));
            QVERIFY(m_sheet->windowTitle().endsWith(u"[USB : X]"_s));
        }
        if (Replug(identity))
            Identified(identity);
    }
    // Only the stage's own kind is needed (images for "$BT", the firmware for "$WB"); the
    // stages before it have run.
    void WizardExchange(const Row& row)
    {
        const Ex ex = row.ex;
        const ContentKind kind = ex == Ex::WizardBt   ? ContentKind::Image
                                 : ex == Ex::WizardWb ? ContentKind::Firmware
                                                      : ContentKind(int(ex) - int(Ex::Db));
        Wizard()->Timers().SetManual(true);
        OnlyNeeded(kind);
        if (ex != Ex::WizardBt) {
            QCOMPARE(Update(Wizard()).size(), 1);
            for (int stage = 0; stage < int(kind); ++stage)
                StageTick(Wizard());
        }
        Fault(row, [&] { ex == Ex::WizardBt ? void(Update(Wizard())) : StageTick(Wizard()); });
        QCOMPARE(Documents().size(), row.fault == u"file gone"_s ? 0 : 1);
        QCOMPARE(OnUpdateValue(), ex == Ex::WizardBt ? -1 : CPage_Update::kRunUnderWay);
        QCOMPARE(Wizard()->Timers().IsActive(CPage_Update::kStageTimer), ex != Ex::WizardBt);
        // After the DB stage nothing was replaced yet: the same window runs again at once
        // (unplugged and plugged between two detection ticks, which ends a stream the unit
        // still waits for).
        if (!Replug(false, ex == Ex::Db ? 0 : 3))
            return;
        // A firmware stream cut after its opening leaves the unit to the recovery page.
        if (ex == Ex::Firmware && row.fault.contains(u'3'))
            return Identified(true);
        ShowPage(Id::Update);
        Wizard()->Timers().SetManual(true);
        // A run cut after its link check is redone in full; else one kind is enough.
        QCOMPARE(Wizard()->IsResuming(), ex != Ex::WizardBt && ex != Ex::Db);
        if (ex == Ex::WizardBt)
            OnlyNeeded(ContentKind::Image);
        QVERIFY(!Update(Wizard()).isEmpty());
        for (int n = 0; n < 12 && Wizard()->Timers().IsActive(CPage_Update::kStageTimer); ++n)
            StageTick(Wizard());
        QTRY_COMPARE(m_boxes->texts(), QStringList{UiText(37)});
        QCOMPARE(OnUpdateValue(), 0);
    }
    // The file chosen with Browse in manual mode.
    void RecoveryExchange(const Row& row)
    {
        const auto act = [this] {
            Recovery()->OnUpdateButton();
            QVERIFY(QTest::qWaitFor([this] { return !Recovery()->WorkerRunning(); }, 20000));
        };
        Control<QRadioButton>(1069)->click();
        QTRY_VERIFY(Control(1016)->isVisible());
        platform::FileDialogRecorder dialogs;
        dialogs.setNextFileName(m_work.filePath(kRecoveryFile));
        Recovery()->OnBrowse();
        Fault(row, act);
        QCOMPARE(Recovery()->ChosenPath(), m_work.filePath(kRecoveryFile));
        QCOMPARE(m_sheet->m_bReprogrammed.load(), row.ex == Ex::ResetWorker ? 1 : 0);
        QTRY_COMPARE(Control(1059)->isEnabled(), row.ex == Ex::ResetRh);
        if (!Replug(true))
            return;
        ShowPage(Id::Reset);
        QVERIFY(WriteFile(m_work.filePath(kRecoveryFile), PatternBytes(1000, 1)));
        Control<QRadioButton>(1069)->click(); // a new window: manual mode shows the kept path
        QTRY_VERIFY(Control(1059)->isEnabled());
        act();
        QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
    }
    // The record changed on the page, which is then dirty.
    void SettingsExchange(const Row& row)
    {
        const bool load = row.ex == Ex::Load;
        const auto act = [&] { load ? Settings()->OnLoad() : Settings()->OnSave(); };
        auto* list = Control<QComboBox>(1110);
        list->setCurrentIndex(1 - list->currentIndex());
        const SettingsRecord record = Settings()->Record();
        Fault(row, act);
        QCOMPARE(Settings()->Record(), record);
        QVERIFY(Settings()->IsDirty());
        if (!Replug())
            return;
        ShowPage(Id::Language);
        act();
        QCOMPARE(m_boxes->texts(), load ? QStringList{} : QStringList{UiText(108)});
        QVERIFY(!Settings()->IsDirty());
    }
    // Rows 2 and 4 of the unit's five ticked. The link is held: the page frees it after a
    // failure, whoever held it.
    void PoiExchange(const Row& row)
    {
        Poi()->OnView();
        PoiList()->item(1, 0)->setCheckState(Qt::Checked);
        PoiList()->item(3, 0)->setCheckState(Qt::Checked);
        m_sheet->SetDeviceBusy(true);
        Fault(row, [&] { row.ex == Ex::View ? Poi()->OnView() : Poi()->OnUpdatePoi(); });
        QCOMPARE(Ticks(), u"-x-x-"_s);
        if (!Replug())
            return;
        ShowPage(Id::Poi);
        Poi()->OnView();
        const int rows = PoiList()->rowCount();
        QCOMPARE(rows, row.ex == Ex::View ? 5 : rows); // a cut Update POI may have left fewer
        if (row.ex == Ex::View)
            return;
        PoiList()->item(0, 0)->setCheckState(Qt::Checked);
        Poi()->OnUpdatePoi();
        QCOMPARE(m_boxes->texts(), (QStringList{UiText(115), UiText(108)}));
        QCOMPARE(PoiList()->rowCount(), rows - 1);
    }
    // "$BT" as the check starts; "$RC" is faulted once the check dialog is up.
    void DiagnosisExchange(const Row& row)
    {
        Fault(row, [&] { RunCheck(row.ex == Ex::Check ? row.fault : QString()); });
        QCOMPARE(ResultLines(), u"ui-118ui-121 ui-119ui-121 ui-120ui-121"_s);
        if (!Replug())
            return;
        ShowPage(Id::Diagnosis);
        RunCheck({});
        QTRY_COMPARE(ResultLines(), u"ui-118ui-122 ui-119ui-122 ui-120ui-122"_s);
    }

    CPage_Update* Wizard() const { return qobject_cast<CPage_Update*>(m_page.data()); }
    CPage_Reset* Recovery() const { return qobject_cast<CPage_Reset*>(m_page.data()); }
    CPage_Language* Settings() const { return qobject_cast<CPage_Language*>(m_page.data()); }
    CPage_Poi* Poi() const { return qobject_cast<CPage_Poi*>(m_page.data()); }
    QTableWidget* PoiList() const { return Control<QTableWidget>(1152); }
    static int OnUpdateValue()
    {
        return theApp().GetProfileInt(CTavoApp::kProfileSection, u"OnUpdate"_s, -1);
    }
    static QStringList Documents()
    {
        return QDir(testsupport::TempHome::documents()).entryList(QDir::Files);
    }
    // Arms the row's fault (the check's once its dialog is up) and makes the exchange: the
    // codes are shown in order, and the link is free again.
    void Fault(const Row& row, const std::function<void()>& act)
    {
        if (row.ex != Ex::Check)
            Arm(row.fault);
        act();
        QCOMPARE(m_boxes->texts().filter(u"Error["_s).join(u' '), row.codes);
        QTRY_COMPARE(m_sheet->m_bDeviceBusy.load(), 0);
    }
    void Arm(const QString& fault)
    {
        tavo::VirtualUnit& unit = m_unit->unit();
        if (fault == u"file gone"_s) {
            for (const QString& file : Documents())
                QVERIFY(QDir(testsupport::TempHome::documents()).remove(file));
            QVERIFY(QFile::remove(m_work.filePath(kRecoveryFile)));
            return;
        }
        QCOMPARE(unit.control("fault " + fault.toStdString()), "ok\n");
        // The stalled answer never comes: the unit is pulled once the command is in.
        if (fault == u"stall"_s)
            m_unplugger = std::jthread([&unit, sent = unit.trace().size()] {
                if (unit.waitForTrace(sent + 1, 10000))
                    unit.unplug();
            });
    }
    // Unless a check failed (then false): the fault cleared, the unit unplugged and plugged in
    // again, held in boot mode if boot; the sheet ticks that often, the first time while the
    // unit is out, which it must see.
    bool Replug(bool boot = false, int ticks = 3)
    {
        if (QTest::currentTestFailed())
            return false;
        m_unplugger = {};
        m_unit->unit().clearFaults();
        m_unit->unit().unplug();
        if (ticks > 0)
            Tick();
        if (ticks > 0 && theApp().m_bConnected)
            QTest::qFail("the sheet does not see the unit out", __FILE__, __LINE__);
        m_unit->unit().setBootButton(boot);
        m_unit->unit().plug();
        for (; ticks > 1; --ticks)
            Tick();
        m_boxes->clear();
        return !QTest::currentTestFailed();
    }
    // The sheet holds the unit's identity (boot mode if boot) and its pages for it.
    void Identified(bool boot)
    {
        QCOMPARE(m_sheet->m_identity.bootMode, boot);
        QCOMPARE(m_sheet->m_identity.dbVersion, 81021);
        QCOMPARE(m_sheet->Page(Id::Update) != nullptr, !boot);
        QCOMPARE(m_sheet->ActivePosition(), boot ? theApp().m_nPageReset : 0);
    }
    // The unit's identity as the catalogue has it, but for kind.
    void OnlyNeeded(ContentKind kind)
    {
        DeviceIdentity& id = m_sheet->m_identity;
        id.dbVersion = kind == ContentKind::Db ? 1 : 90115;
        id.voiceVersion = kind == ContentKind::Voice ? 1 : 90101;
        id.imageVersion = kind == ContentKind::Image ? 1 : 90101;
        id.fwVersion = kind == ContentKind::Firmware ? 1 : 8012;
        Wizard()->RefreshNow();
    }
    // Diagnosis; fault is armed once the check dialog is up. A failed check leaves the dialog
    // open: the user closes it.
    void RunCheck(const QString& fault)
    {
        RunModal<CCrcCheck>(1156, [this, &fault](CCrcCheck& check) {
            check.Timer().stop();
            if (!fault.isEmpty())
                Arm(fault);
            check.OnTimer(CCrcCheck::kTimerId);
            QVERIFY(QTest::qWaitFor([&check] { return !check.WorkerRunning(); }, 10000));
            check.OnTimer(CCrcCheck::kTimerId);
            if (!check.Done())
                check.reject();
        });
    }

    ServedTree m_tree;
    QTemporaryDir m_work;
    std::jthread m_unplugger;
};

int main(int argc, char** argv)
{
    if (argc == 2 && qstrcmp(argv[1], "-table") == 0)
        return PrintTable();
    QApplication app(argc, argv);
    TestFaultMatrix test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_fault_matrix.moc"
