// Every exchange the program makes with the unit, under each fault the virtual unit offers
// where it applies, in one table: the codes the user sees, in order; the link free afterwards;
// what the page keeps; and the same exchange succeeding once the unit is plugged in again.
// The table is the documentation: with -table the program prints it as Markdown instead.
//
// Left out, because they cannot happen: nak, short and stall on the probe (it reads no answer)
// and on the streams and writes (no answer is read between their packets); a write failure on
// the probe (it opens no pipe); nak, short and stall on a "$RD" that follows a "$BT" (a fault
// arms the next answer, which is the "$BT"'s). Faults that take the same path to the same codes
// appear once: a stalled or cut answer fails like a short one, a failed write like an unplugged
// unit (Settings Load and POI View keep a failed write and a cut answer on their "$RD").

#include "SheetFixture.h"
#include "UpdateTestKit.h"
#include "device/CPage_Diagnosis.h"
#include "device/CPage_Language.h"
#include "device/CPage_Poi.h"
#include "link/CCrcCheck.h"
#include "platform/FileDialogRecorder.h"
#include "update/CPage_Reset.h"
#include "update/CPage_Update.h"
#include "update/VersionCatalogue.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTableWidget>
#include <cstdio>

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
    // A command that waits for its answer fails at its write, its answer or its refusal; then
    // the page's own code, if any.
    const auto exchange = [&add](Ex ex, const char* command, const QString& own = {},
                                 bool reported = true) {
        const std::pair<const char*, const char*> faults[] = {
            {"unplug", "Error[9001]"}, {"short", "Error[9002]"}, {"nak", "Error[9003]"}};
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
    }
    add(Ex::Firmware, "file gone", "none", u"Error[8019]"_s);
    add(Ex::Firmware, "write-fail 1", "`$WFE`", u"Error[8020]"_s);
    add(Ex::Firmware, "unplug 3", "data", u"Error[8021]"_s);
    exchange(Ex::ResetRh, "`$RH`");
    // A file of 1,000 bytes: fifteen data packets, then zero packets.
    add(Ex::ResetWorker, "file gone", "none", u"Error[7003]"_s);
    add(Ex::ResetWorker, "write-fail 1", "`$WFE`", u"Error[7004]"_s);
    add(Ex::ResetWorker, "unplug 3", "data", u"Error[7005]"_s);
    add(Ex::ResetWorker, "write-fail 20", "zero packet", u"Error[7006]"_s);
    exchange(Ex::Load, "`$BT`");
    add(Ex::Load, "unplug 2", "`$RD`", u"Error[9002]"_s);
    add(Ex::Load, "write-fail 1", "`$RD`", u"Error[9001]"_s);
    exchange(Ex::Save, "`$BT`", u" Error[4004]"_s);
    add(Ex::Save, "write-fail 1", "`$WD`", u"Error[4005]"_s);
    add(Ex::Save, "unplug 2", "data", u"Error[4006]"_s);
    exchange(Ex::View, "`$BT`");
    add(Ex::View, "unplug 3", "2nd `$RD`", u"Error[9002]"_s);
    add(Ex::View, "write-fail 3", "3rd `$RD`", u"Error[9001]"_s);
    exchange(Ex::UpdatePoi, "`$BT`", u" Error[5003]"_s);
    add(Ex::UpdatePoi, "write-fail 1", "1st `$WD`", u"Error[5004]"_s);
    add(Ex::UpdatePoi, "unplug 3", "1st store data", u"Error[5005]"_s);
    add(Ex::UpdatePoi, "write-fail 27", "2nd `$WD`", u"Error[5006]"_s);
    add(Ex::UpdatePoi, "unplug 30", "2nd store data", u"Error[5007]"_s);
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

Q_DECLARE_METATYPE(Ex)

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
        m_dialogs = std::make_unique<platform::FileDialogRecorder>();
        QDir documents(testsupport::TempHome::documents());
        QVERIFY(documents.removeRecursively() && documents.mkpath(u"."_s));
        QVERIFY(WriteFile(m_work.filePath(kRecoveryFile), PatternBytes(1000, 1)));
    }
    void cleanup()
    {
        Cleanup();
        m_dialogs.reset();
    }

    void faults_data()
    {
        QTest::addColumn<Ex>("ex");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("codes");
        for (const Row& r : Rows())
            QTest::addRow("%s, %s", Of(r.ex).name, qPrintable(r.fault))
                << r.ex << r.fault << r.codes;
    }
    void faults()
    {
        QFETCH(Ex, ex);
        QFETCH(QString, fault);
        QFETCH(QString, codes);
        Prepare(ex);
        if (ex != Ex::Check) // the check's fault is armed once its dialog is up
            Arm(fault);
        Act(ex, fault);
        QCOMPARE(ErrorBoxes(), codes);
        QTRY_COMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        CheckKept(ex, fault);
        if (QTest::currentTestFailed())
            return;
        // Fault cleared, unit plugged in again: the same exchange goes through. After the DB
        // stage nothing was replaced yet: the same window runs again at once (unplugged and
        // plugged between two detection ticks, which ends a stream the unit still waits for).
        if (ex == Ex::Db) {
            m_unit->unit().clearFaults();
            m_unit->unit().unplug();
            m_unit->unit().plug();
            m_boxes->clear();
        } else {
            Replug(ex == Ex::Identity || ex == Ex::ResetRh || ex == Ex::ResetWorker);
        }
        Succeed(ex, fault);
    }

private:
    CPage_Update* Wizard() const { return qobject_cast<CPage_Update*>(m_page.data()); }
    CPage_Reset* Recovery() const { return qobject_cast<CPage_Reset*>(m_page.data()); }
    CPage_Language* Settings() const { return qobject_cast<CPage_Language*>(m_page.data()); }
    CPage_Poi* Poi() const { return qobject_cast<CPage_Poi*>(m_page.data()); }
    QTableWidget* PoiList() const { return Control<QTableWidget>(1152); }

    static bool IsStage(Ex ex) { return ex >= Ex::WizardBt && ex <= Ex::Firmware; }
    static int OnUpdateValue()
    {
        return theApp().GetProfileInt(CTavoApp::kProfileSection, u"OnUpdate"_s, -1);
    }
    static QStringList Documents()
    {
        return QDir(testsupport::TempHome::documents()).entryList(QDir::Files);
    }
    QString ErrorBoxes() const { return m_boxes->texts().filter(u"Error["_s).join(u' '); }

    // Brings the page to the moment before the exchange.
    void Prepare(Ex ex)
    {
        m_unit->unit().control("poi-seed 5");
        const bool boot = ex == Ex::ResetRh || ex == Ex::ResetWorker;
        if (boot) {
            m_unit->unit().unplug();
            m_unit->unit().setBootButton(true);
            m_unit->unit().plug();
        }
        OpenSheet(Of(ex).page);
        if (ex == Ex::Identity) { // plugged in again, now in boot mode: not yet identified
            m_unit->unit().unplug();
            Tick();
            m_unit->unit().setBootButton(true);
            m_unit->unit().plug();
            Tick();
        } else if (IsStage(ex)) {
            Wizard()->Timers().SetManual(true);
            // Only the stage's own kind differs (images for "$BT", the firmware for "$WB").
            OnlyNeeded(ex == Ex::WizardBt   ? ContentKind::Image
                       : ex == Ex::WizardWb ? ContentKind::Firmware
                                            : ContentKind(int(ex) - int(Ex::Db)));
            if (ex != Ex::WizardBt) {
                QCOMPARE(Update().size(), 1);
                for (int stage = 0; stage < (ex == Ex::WizardWb ? 3 : int(ex) - int(Ex::Db));
                     ++stage)
                    StageTick();
            }
        } else if (boot) {
            ChooseRecoveryFile(true);
        } else if (ex == Ex::Load || ex == Ex::Save) {
            auto* list = Control<QComboBox>(1110);
            list->setCurrentIndex(1 - list->currentIndex());
            m_record = Settings()->Record();
            QVERIFY(Settings()->IsDirty());
        } else if (ex == Ex::View || ex == Ex::UpdatePoi) {
            Poi()->OnView();
            PoiList()->item(1, 0)->setCheckState(Qt::Checked);
            PoiList()->item(3, 0)->setCheckState(Qt::Checked);
            m_sheet->SetDeviceBusy(true); // freed after a failure, whoever held it
        }
        m_boxes->clear();
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
    }

    void Act(Ex ex, const QString& fault)
    {
        switch (ex) {
        case Ex::Probe:
        case Ex::Identity:
            return Tick();
        case Ex::WizardBt:
            Update();
            return;
        case Ex::ResetRh:
        case Ex::ResetWorker:
            Recovery()->OnUpdateButton();
            QVERIFY(QTest::qWaitFor([this] { return !Recovery()->WorkerRunning(); }, 20000));
            return;
        case Ex::Load:
            return Settings()->OnLoad();
        case Ex::Save:
            return Settings()->OnSave();
        case Ex::View:
            return Poi()->OnView();
        case Ex::UpdatePoi:
            return Poi()->OnUpdatePoi();
        case Ex::DiagnosisBt:
        case Ex::Check:
            return RunCheck(ex == Ex::Check ? fault : QString());
        default:
            return StageTick();
        }
    }

    void CheckKept(Ex ex, const QString& fault)
    {
        if (ex == Ex::Probe) {
            QVERIFY(!m_sheet->Page(Id::Update));
            QVERIFY(m_sheet->windowTitle().endsWith(u"[USB : X]"_s));
        } else if (ex == Ex::Identity) {
            QVERIFY(!m_sheet->m_identity.bootMode);
            QCOMPARE(m_sheet->m_identity.dbVersion, 81021);
            QVERIFY(m_sheet->Page(Id::Update));
        } else if (IsStage(ex)) {
            QCOMPARE(Documents().size(), fault == u"file gone"_s ? 0 : 1);
            QCOMPARE(OnUpdateValue(), ex == Ex::WizardBt ? -1 : CPage_Update::kRunUnderWay);
            QCOMPARE(Wizard()->Timers().IsActive(CPage_Update::kStageTimer), ex != Ex::WizardBt);
        } else if (ex == Ex::ResetRh || ex == Ex::ResetWorker) {
            QCOMPARE(Recovery()->ChosenPath(), m_work.filePath(kRecoveryFile));
            QCOMPARE(m_sheet->m_bReprogrammed.load(), ex == Ex::ResetWorker ? 1 : 0);
            QTRY_COMPARE(Control(1059)->isEnabled(), ex == Ex::ResetRh);
        } else if (ex == Ex::Load || ex == Ex::Save) {
            QCOMPARE(Settings()->Record(), m_record);
            QVERIFY(Settings()->IsDirty());
        } else if (ex == Ex::View || ex == Ex::UpdatePoi) {
            QCOMPARE(Ticks(), u"-x-x-"_s);
        } else {
            QCOMPARE(ResultLines(), QString(u"ui-118ui-121 ui-119ui-121 ui-120ui-121"_s));
        }
    }

    void Succeed(Ex ex, const QString& fault)
    {
        // A firmware stream cut after its opening leaves the unit to the recovery page.
        const bool cutFirmware = ex == Ex::Firmware && fault.contains(u'3');
        if (ex == Ex::Probe || ex == Ex::Identity || cutFirmware) {
            QCOMPARE(m_sheet->m_identity.bootMode, ex != Ex::Probe);
            QCOMPARE(m_sheet->m_identity.dbVersion, 81021);
            QCOMPARE(m_sheet->Page(Id::Update) != nullptr, ex == Ex::Probe);
            QCOMPARE(m_sheet->ActivePosition(), ex == Ex::Probe ? 0 : theApp().m_nPageReset);
            return;
        }
        const Id page = Of(ex).page;
        ShowPage(page);
        if (IsStage(ex)) {
            Wizard()->Timers().SetManual(true);
            // A run cut after its link check is redone in full; else one kind is enough.
            QCOMPARE(Wizard()->IsResuming(), ex != Ex::WizardBt && ex != Ex::Db);
            if (ex == Ex::WizardBt)
                OnlyNeeded(ContentKind::Image);
            QVERIFY(!Update().isEmpty());
            for (int ticks = 0; Wizard()->Timers().IsActive(CPage_Update::kStageTimer); ++ticks) {
                QVERIFY2(ticks < 12, "the run does not end");
                StageTick();
            }
            QTRY_COMPARE(m_boxes->texts(), QStringList{UiText(37)});
            QCOMPARE(OnUpdateValue(), 0);
        } else if (page == Id::Reset) {
            QVERIFY(WriteFile(m_work.filePath(kRecoveryFile), PatternBytes(1000, 1)));
            ChooseRecoveryFile(false); // a new window, the path chosen before
            QTRY_VERIFY(Control(1059)->isEnabled());
            Act(ex, {});
            QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
        } else if (ex == Ex::Load) {
            Settings()->OnLoad();
            QCOMPARE(m_boxes->texts(), QStringList{});
            QVERIFY(!Settings()->IsDirty());
        } else if (ex == Ex::Save) {
            Settings()->OnSave();
            QCOMPARE(m_boxes->texts(), QStringList{UiText(108)});
        } else if (page == Id::Poi) {
            Poi()->OnView();
            const int rows = PoiList()->rowCount();
            QCOMPARE(rows, ex == Ex::View ? 5 : rows); // a cut Update POI may have left fewer
            if (ex == Ex::UpdatePoi) {
                PoiList()->item(0, 0)->setCheckState(Qt::Checked);
                Poi()->OnUpdatePoi();
                QCOMPARE(m_boxes->texts(), (QStringList{UiText(115), UiText(108)}));
                QCOMPARE(PoiList()->rowCount(), rows - 1);
            }
        } else {
            RunCheck({});
            QTRY_COMPARE(ResultLines(), QString(u"ui-118ui-122 ui-119ui-122 ui-120ui-122"_s));
        }
        QTRY_COMPARE(m_sheet->m_bDeviceBusy.load(), 0);
    }

    // The unit unplugged and plugged in again, seen by the sheet; boot: held in boot mode.
    void Replug(bool boot)
    {
        m_unit->unit().clearFaults();
        m_unit->unit().unplug();
        Tick();
        QVERIFY(!theApp().m_bConnected);
        m_unit->unit().setBootButton(boot);
        m_unit->unit().plug();
        Tick();
        Tick();
        m_boxes->clear();
    }

    // The unit's identity as the catalogue has it, but for kind.
    void OnlyNeeded(ContentKind kind)
    {
        DeviceIdentity& id = m_sheet->m_identity;
        id.dbVersion = 90115;
        id.voiceVersion = id.imageVersion = 90101;
        id.fwVersion = 8012;
        (kind == ContentKind::Db      ? id.dbVersion
         : kind == ContentKind::Voice ? id.voiceVersion
         : kind == ContentKind::Image ? id.imageVersion
                                      : id.fwVersion) = 1;
        Wizard()->RefreshNow();
    }
    // Clicks UPDATE, ticking each download dialog; the downloads as "1 / 4 <path>".
    QStringList Update()
    {
        DownloadStepper stepper(m_tree.Base());
        Wizard()->OnUpdateButton();
        return stepper.m_seen;
    }
    // One tick of the stage timer; waits for the worker it may have started.
    void StageTick()
    {
        Wizard()->OnTimer(CPage_Update::kStageTimer);
        QVERIFY(QTest::qWaitFor([this] { return !Wizard()->WorkerRunning(); }, 20000));
        QCoreApplication::processEvents();
    }
    // Manual mode; first: the file is chosen with Browse, else the window shows the kept path.
    void ChooseRecoveryFile(bool first)
    {
        Control<QRadioButton>(1069)->click();
        QTRY_VERIFY(Control(1016)->isVisible());
        if (!first)
            return;
        m_dialogs->setNextFileName(m_work.filePath(kRecoveryFile));
        Recovery()->OnBrowse();
    }
    // Diagnosis; fault is armed once the check dialog is up. A failed check leaves the dialog
    // open: the user closes it.
    void RunCheck(const QString& fault)
    {
        QTimer poll;
        connect(&poll, &QTimer::timeout, &poll, [&] {
            auto* check = qobject_cast<CCrcCheck*>(QApplication::activeModalWidget());
            if (!check)
                return;
            poll.stop();
            check->Timer().stop();
            if (!fault.isEmpty())
                Arm(fault);
            check->OnTimer(CCrcCheck::kTimerId);
            QVERIFY(QTest::qWaitFor([check] { return !check->WorkerRunning(); }, 10000));
            check->OnTimer(CCrcCheck::kTimerId);
            if (!check->Done())
                check->reject();
        });
        poll.start(2);
        qobject_cast<CPage_Diagnosis*>(m_page.data())->OnDiagnosis();
    }
    QString ResultLines() const
    {
        QStringList lines;
        for (int id : {1157, 1158, 1159})
            lines << Control<QLabel>(id)->text();
        return lines.join(u' ');
    }
    QString Ticks() const
    {
        QString ticks;
        for (int r = 0; r < PoiList()->rowCount(); ++r)
            ticks += PoiList()->item(r, 0)->checkState() == Qt::Checked ? u'x' : u'-';
        return ticks;
    }

    ServedTree m_tree;
    QTemporaryDir m_work;
    std::unique_ptr<platform::FileDialogRecorder> m_dialogs;
    SettingsRecord m_record{};
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
