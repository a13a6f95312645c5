// The firmware recovery page against an in-process virtual unit (its packet trace) and the
// unit's update tree on a real FTP server, with file dialogs and message boxes answered by
// recorders.

#include "UpdateTestKit.h"
#include "platform/Clock.h"
#include "platform/FileDialog.h"
#include "platform/FileDialogRecorder.h"
#include "update/CPage_Reset.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

using namespace updatetest;
using namespace Qt::StringLiterals;

namespace {

const QString kBinFilter = u"Bin File(*.bin) |*.bin||"_s;
const QString kFwStream = u"$WFE 00000000 65536 1024 +1024"_s;

} // namespace

class TestUpdateRecovery final : public PageFixture<CPage_Reset>
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_tree.Start(&error), qPrintable(error));
    }

    void init()
    {
        Init();
        m_dialogs = std::make_unique<platform::FileDialogRecorder>();
        m_state->m_identity.bootMode = true;
    }

    void cleanup()
    {
        Cleanup();
        m_dialogs.reset();
    }

    void controlsAndModes()
    {
        OpenPage();
        const QStringList texts{
            Control<QGroupBox>(1070)->title(),   Control<QRadioButton>(1068)->text(),
            Control<QRadioButton>(1069)->text(), Control<QGroupBox>(1058)->title(),
            Control<QPushButton>(1016)->text(),  Control<QPushButton>(1059)->text()};
        QCOMPARE(texts, (QStringList{UiText(127), UiText(128), UiText(129), UiText(130),
                                     UiText(144), UiText(145)}));
        QCOMPARE(Bar(), 0);
        QVERIFY(!Control<QLineEdit>(1021)->isEnabled());

        // The seven instruction lines, and whether the path and Browse are shown.
        const auto shown = [this] {
            QStringList texts;
            for (int id = 1061; id <= 1067; ++id)
                texts << Control<QLabel>(id)->text();
            return texts << QString::number(Control<QLineEdit>(1021)->isVisible()) +
                                QString::number(Control<QPushButton>(1016)->isVisible());
        };
        const QStringList autoMode{UiText(131), UiText(132), UiText(133), UiText(134),
                                   UiText(135), UiText(136), u" "_s,      u"00"_s};
        const QStringList manualMode{UiText(137), UiText(138), UiText(139), UiText(140),
                                     UiText(141), UiText(142), UiText(143), u"11"_s};
        QVERIFY(Control<QRadioButton>(1068)->isChecked());
        QCOMPARE(shown(), autoMode);
        QTest::mouseClick(Control<QRadioButton>(1069), Qt::LeftButton);
        QTRY_COMPARE(shown(), manualMode);
        QTest::mouseClick(Control<QRadioButton>(1068), Qt::LeftButton);
        QTRY_COMPARE(shown(), autoMode);

        // The enable rule: connected, not busy, not reprogrammed.
        QVERIFY(UpdateEnabled());
        theApp().m_bConnected = 0;
        m_page->ApplyEnableRule();
        QVERIFY(!UpdateEnabled());
        theApp().m_bConnected = 1;
        m_state->SetDeviceBusy(true);
        QTRY_VERIFY(!UpdateEnabled());
        m_state->SetDeviceBusy(false);
        QTRY_VERIFY(UpdateEnabled());
    }

    void browse()
    {
        OpenPage();
        Manual();
        // Cancelled with nothing chosen before: nothing to program.
        QTest::mouseClick(Control<QPushButton>(1016), Qt::LeftButton);
        QCOMPARE(m_page->FileToProgram(), QString());

        const QString first = m_work.filePath(u"first.bin"_s);
        m_dialogs->setNextFileName(first);
        QTest::mouseClick(Control<QPushButton>(1016), Qt::LeftButton);
        QCOMPARE(Control<QLineEdit>(1021)->text(), first);
        QCOMPARE(m_page->FileToProgram(), first);

        // Cancelling keeps the previous choice and makes it the file to program again.
        m_dialogs->setNextCancel();
        QTest::mouseClick(Control<QPushButton>(1016), Qt::LeftButton);
        QCOMPARE(m_page->FileToProgram(), first);
        m_page->RefreshNow();
        QCOMPARE(Control<QLineEdit>(1021)->text(), first);

        QCOMPARE(m_dialogs->requests().size(), 3);
        for (const platform::FileDialogRequest& r : m_dialogs->requests()) {
            QCOMPARE(r.mode, platform::FileDialogMode::Open);
            QCOMPARE(r.filter, kBinFilter);
            QCOMPARE(r.defaultName, QString());
            QVERIFY(r.fileMustExist);
        }
        QCOMPARE(platform::NameFiltersOf(kBinFilter), QStringList{u"Bin File (*.bin)"_s});
    }

    void refusedBeforeTheWorker_data()
    {
        QTest::addColumn<bool>("bootMode");
        QTest::addColumn<bool>("manual");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("downloads");

        const QStringList none;
        const QStringList probe{u"$RH"_s};
        QTest::newRow("unit in normal mode")
            << false << false << "" << QStringList{u"Error[7001]"_s} << none << none;
        QTest::newRow("manual, no file chosen") << true << true << "" << none << probe << none;
        QTest::newRow("auto, download fails") << true << false << "no file" << none << probe
                                              << QStringList{u"1 / 1 /FW/TavoFw.bin"_s};
        QTest::newRow("$RH without acknowledge")
            << true << false << "nak" << QStringList{u"Error[9003]"_s} << probe << none;
        QTest::newRow("$RH answered short")
            << true << false << "short" << QStringList{u"Error[9002]"_s} << probe << none;
        QTest::newRow("unit gone")
            << true << false << "unplugged" << QStringList{u"Error[9001]"_s} << none << none;
    }
    void refusedBeforeTheWorker()
    {
        QFETCH(bool, bootMode);
        QFETCH(bool, manual);
        QFETCH(QString, setup);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, downloads);

        const QString image = m_tree.Path(u"/FW/TavoFw.bin"_s);
        const auto restore = qScopeGuard([&] { QFile::rename(image + u".away"_s, image); });
        if (setup == u"no file"_s)
            QVERIFY(QFile::rename(image, image + u".away"_s));
        else if (setup == u"nak"_s)
            m_unit->unit().injectFault(tavo::FaultKind::Nak);
        else if (setup == u"short"_s)
            m_unit->unit().injectFault(tavo::FaultKind::Short);
        else if (setup == u"unplugged"_s)
            m_unit->unit().unplug();
        m_state->m_identity.bootMode = bootMode;
        OpenPage();
        if (manual)
            Manual();

        DownloadStepper stepper(m_tree.Base());
        ClickUpdate();
        QCOMPARE(m_boxes->texts(), boxes);
        QCOMPARE(Describe(Sent()), sent);
        QCOMPARE(stepper.m_seen, downloads);
        QVERIFY(!m_page->WorkerRunning());
        QCOMPARE(m_state->m_bDeviceBusy.load(), 0);
        QCOMPARE(m_state->m_bReprogrammed.load(), 0);
        QTRY_VERIFY(UpdateEnabled());
    }

    void imageOnTheWire_data()
    {
        QTest::addColumn<bool>("pageGoes"); // the page is deleted while the notice is open
        QTest::newRow("page stays") << false;
        QTest::newRow("page gone while the notice is open") << true;
    }
    // What a file becomes on the wire is the engine's; here the page hands the chosen file over.
    void imageOnTheWire()
    {
        QFETCH(bool, pageGoes);
        const QByteArray file = PatternBytes(65536, 9);
        const QString path = m_work.filePath(u"image.bin"_s);
        QVERIFY(WriteFile(path, file));
        OpenPage();
        Manual(path);

        // The link stays busy, and the bar full, while the notice is open.
        bool busyWhileOpen = false;
        int barWhileOpen = -1;
        m_boxes->setOnShow([&](const platform::MessageBoxRecorder::Shown&) {
            busyWhileOpen = m_state->m_bDeviceBusy.load() != 0;
            barWhileOpen = Bar();
            if (pageGoes)
                delete m_page.data();
        });
        ClickUpdate();
        QCOMPARE(m_state->m_bReprogrammed.load(), 1);
        WaitForWorker();
        QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
        QCOMPARE(m_boxes->shown().at(0).caption, u" "_s);
        QVERIFY(busyWhileOpen);
        QCOMPARE(barWhileOpen, 100);
        QCOMPARE(m_page.isNull(), pageGoes);
        QVERIFY(pageGoes || !UpdateEnabled());
        const Packets sent = Sent();
        QCOMPARE(Describe(sent), (QStringList{u"$RH"_s, kFwStream}));
        QCOMPARE(StreamData(sent, 1), file);
    }

    void workerFailures_data()
    {
        QTest::addColumn<int>("fileSize");
        // Packets the unit takes before its writes fail, the $RH probe counted (0: no fault).
        QTest::addColumn<int>("writesBeforeFailure");
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("dataPackets"); // -1: no opening packet
        QTest::addColumn<int>("bar");

        QTest::newRow("file gone after Browse") << 0 << 0 << "Error[7003]" << -1 << 0;
        QTest::newRow("opening packet not sent") << 65536 << 1 << "Error[7004]" << -1 << 0;
        // The bar shows (packets sent × 100) >> 10.
        QTest::newRow("after packet 10") << 65536 << 12 << "Error[7005]" << 10 << 0;
        QTest::newRow("after packet 11") << 65536 << 13 << "Error[7005]" << 11 << 1;
        QTest::newRow("after packet 1023") << 65536 << 1025 << "Error[7005]" << 1023 << 99;
        QTest::newRow("zero packet not sent") << 1000 << 21 << "Error[7006]" << 19 << 1;
    }
    void workerFailures()
    {
        QFETCH(int, fileSize);
        QFETCH(int, writesBeforeFailure);
        QFETCH(QString, code);
        QFETCH(int, dataPackets);
        QFETCH(int, bar);

        const QString path = m_work.filePath(u"failing.bin"_s);
        QVERIFY(WriteFile(path, PatternBytes(65536, 3)));
        OpenPage();
        Manual(path);
        if (fileSize == 0)
            QVERIFY(QFile::remove(path));
        else
            QVERIFY(QFile::resize(path, fileSize));
        if (writesBeforeFailure > 0)
            m_unit->unit().injectFault(tavo::FaultKind::WriteFail,
                                       static_cast<std::uint32_t>(writesBeforeFailure));
        ClickUpdate();
        WaitForWorker();

        QCOMPARE(m_boxes->texts(), QStringList{code});
        QCOMPARE(Bar(), bar);
        QStringList sent{u"$RH"_s};
        if (dataPackets >= 0)
            sent << u"$WFE 00000000 65536 1024 +%1"_s.arg(dataPackets);
        QCOMPARE(Describe(Sent()), sent);
        // A failed worker frees the link, but the unit must be plugged in again before another try.
        QCOMPARE(m_state->m_bReprogrammed.load(), 1);
        QTRY_VERIFY(!UpdateEnabled());
    }

    void recoveryFromTheServer_data()
    {
        QTest::addColumn<bool>("windowCloses"); // while the worker streams
        QTest::newRow("whole recovery") << false;
        QTest::newRow("window closed mid-stream") << true;
    }
    void recoveryFromTheServer()
    {
        QFETCH(bool, windowCloses);
        if (windowCloses) { // a unit slow enough for the stream to be under way
            m_unit.reset();
            m_unit = std::make_unique<testsupport::UnitFixture>(true, 0, true);
        }
        // The unit is plugged in with its POI button held: boot mode.
        m_unit->unit().unplug();
        m_unit->unit().setBootButton(true);
        m_unit->unit().plug();
        OpenSheet(CProptySheet::PageId::Reset, &CTavoApp::m_nPageReset);
        QVERIFY(m_sheet->m_identity.bootMode);
        QVERIFY(!m_sheet->Page(CProptySheet::PageId::Update));
        QCOMPARE(m_sheet->ActivePosition(), theApp().m_nPageReset);
        QVERIFY(UpdateEnabled());
        m_unit->unit().clearTrace();
        {
            const platform::FixedClock clock(platform::LocalTime{2009, 1, 1, 0, 5, 0, 7});
            DownloadStepper stepper(m_tree.Base());
            ClickUpdate();
            QCOMPARE(stepper.m_seen, QStringList{u"1 / 1 /FW/TavoFw.bin"_s});
        }
        // Downloads land, and stay, in the documents folder.
        QCOMPARE(m_page->FileToProgram(),
                 testsupport::TempHome::documents() + u"/Tavo_Fw20091157.bin"_s);
        if (windowCloses) {
            // Once the stream is under way the sheet goes with its pages: the worker stops
            // within a packet and is joined, and nothing it posted reaches the page once the
            // events run.
            QVERIFY(m_unit->unit().waitForTrace(4, 5000));
            m_sheet.reset();
            const std::size_t sent = Sent().size();
            QTest::qWait(100);
            QCOMPARE(Sent().size(), sent);
            QVERIFY2(sent < 2 + 1024, qPrintable(Describe(Sent()).join(u", "_s))); // $RH, $WFE
            QCOMPARE(m_boxes->texts(), QStringList{});
            return;
        }
        WaitForWorker();
        QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
        QVERIFY(QFile::exists(m_page->FileToProgram()));
        const Packets sent = Sent();
        QCOMPARE(Describe(sent), (QStringList{u"$RH"_s, kFwStream}));
        QCOMPARE(StreamData(sent, 1), ReadFile(m_tree.Path(u"/FW/TavoFw.bin"_s)));
        // The sheet's own polling does not bring the button back while the unit stays.
        m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        QTRY_VERIFY(!UpdateEnabled());
    }

    // The Manual instructions as a user follows them: the file is chosen while the unit still
    // runs normally, then the unit is plugged in again in boot mode.
    void manualRecoveryAcrossAReplug()
    {
        const QByteArray image = PatternBytes(65536, 5);
        const QString path = m_work.filePath(u"chosen.bin"_s);
        QVERIFY(WriteFile(path, image));
        OpenSheet(CProptySheet::PageId::Reset, &CTavoApp::m_nPageReset);
        Manual(path);

        const auto replug = [this](bool bootMode) {
            m_unit->unit().unplug();
            m_sheet->OnTimer(CProptySheet::kDetectionTimer);
            m_unit->unit().setBootButton(bootMode);
            m_unit->unit().plug();
            m_sheet->OnTimer(CProptySheet::kDetectionTimer);
            m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        };
        replug(true);
        QCOMPARE(m_sheet->Page(CProptySheet::PageId::Reset), m_page.data());
        QCOMPARE(m_sheet->ActivePosition(), theApp().m_nPageReset);
        // A new window starts in Auto; Manual shows the file chosen before.
        QVERIFY(IsAuto());
        Manual();
        QCOMPARE(Control<QLineEdit>(1021)->text(), path);
        m_unit->unit().clearTrace();
        ClickUpdate();
        WaitForWorker();
        QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
        const Packets sent = Sent();
        QCOMPARE(Describe(sent), (QStringList{u"$RH"_s, kFwStream}));
        QCOMPARE(StreamData(sent, 1), image);
        QVERIFY(!UpdateEnabled());

        // Detected again, the recovered unit can be recovered once more.
        replug(true);
        QTRY_VERIFY(UpdateEnabled());
    }

    void pageRemovedWhileADialogIsOpen_data()
    {
        QTest::addColumn<bool>("browse");
        QTest::newRow("Error[7001] box") << false;
        QTest::newRow("Browse dialog") << true;
    }
    void pageRemovedWhileADialogIsOpen()
    {
        QFETCH(bool, browse);

        // The real message boxes and file dialogs, which the page's removal must not take along.
        m_boxes.reset();
        m_dialogs.reset();
        OpenSheet(CProptySheet::PageId::Reset, &CTavoApp::m_nPageReset);
        const QPointer<CPage_Reset> page = m_page;
        if (browse)
            Manual();
        m_unit->unit().clearTrace();
        // While the dialog is open the unit goes away and the sheet rebuilds its pages.
        QString seen;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !seen.isEmpty())
                return;
            seen = QString::fromLatin1(dialog->metaObject()->className());
            m_unit->unit().unplug();
            m_sheet->OnTimer(CProptySheet::kDetectionTimer);
            dialog->reject();
        });
        watcher.start(10);
        QTest::mouseClick(Control<QPushButton>(browse ? 1016 : 1059), Qt::LeftButton);
        watcher.stop();

        QCOMPARE(seen, browse ? u"QFileDialog"_s : u"QMessageBox"_s);
        // The handler has come back to the same page object, whose window was made anew.
        QCOMPARE(m_sheet->Page(CProptySheet::PageId::Reset), page.data());
        QVERIFY(!m_sheet->Page(CProptySheet::PageId::Update));
        QCOMPARE(Describe(Sent()), QStringList{});
    }

private:
    void OpenPage()
    {
        m_page = new CPage_Reset(*m_state);
        m_page->show();
        QVERIFY(m_page->IsInitialised());
    }

    bool IsAuto() const { return Control<QRadioButton>(1068)->isChecked(); }
    bool UpdateEnabled() const { return Control<QPushButton>(1059)->isEnabled(); }
    int Bar() const { return Control<QProgressBar>(1060)->value(); }
    void ClickUpdate() { QTest::mouseClick(Control<QPushButton>(1059), Qt::LeftButton); }
    // Switches to Manual and, when path is given, chooses it with Browse.
    void Manual(const QString& path = {})
    {
        QTest::mouseClick(Control<QRadioButton>(1069), Qt::LeftButton);
        QTRY_VERIFY(Control<QPushButton>(1016)->isVisible());
        if (path.isEmpty())
            return;
        m_dialogs->setNextFileName(path);
        QTest::mouseClick(Control<QPushButton>(1016), Qt::LeftButton);
        QCOMPARE(m_page->ChosenPath(), path);
    }
    // Waits until the recovery worker has ended and what it posted has run.
    void WaitForWorker()
    {
        QVERIFY(QTest::qWaitFor([this] { return !m_page || !m_page->WorkerRunning(); }, 20000));
        QTRY_COMPARE(State().m_bDeviceBusy.load(), 0);
        QCoreApplication::processEvents();
    }

    QTemporaryDir m_work;
    std::unique_ptr<platform::FileDialogRecorder> m_dialogs;
};

QTEST_MAIN(TestUpdateRecovery)
#include "test_update_recovery.moc"
