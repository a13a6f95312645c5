// The firmware recovery page against an in-process virtual unit (its packet trace) and the
// unit's update tree on a real FTP server, with file dialogs and message boxes answered by
// recorders. Faults of the unit, and the chosen path across a re-plug, are the fault matrix's.

#include "UpdateTestKit.h"
#include "platform/Clock.h"
#include "platform/FileDialogRecorder.h"
#include "update/CPage_Reset.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

using namespace updatetest;
using namespace Qt::StringLiterals;

class TestUpdateRecovery final : public testsupport::SheetFixture<CPage_Reset>
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
        SetUpdateServer(m_tree.Base());
        m_dialogs = std::make_unique<platform::FileDialogRecorder>();
        m_state->m_identity.bootMode = true;
    }
    void cleanup()
    {
        Cleanup();
        m_dialogs.reset();
    }

    void modesAndBrowse()
    {
        OpenPage();
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
        QCOMPARE(shown(), autoMode);
        Manual();
        QTRY_COMPARE(shown(), (QStringList{UiText(137), UiText(138), UiText(139), UiText(140),
                                           UiText(141), UiText(142), UiText(143), u"11"_s}));
        // Cancelled with nothing chosen before: nothing to program.
        QTest::mouseClick(Control<QPushButton>(1016), Qt::LeftButton);
        QCOMPARE(m_page->FileToProgram(), QString());
        const QString first = m_work.filePath(u"first.bin"_s);
        m_dialogs->setNextFileName(first);
        QTest::mouseClick(Control<QPushButton>(1016), Qt::LeftButton);
        QCOMPARE(Control<QLineEdit>(1021)->text(), first);
        // Cancelling keeps the previous choice and makes it the file to program again.
        m_dialogs->setNextCancel();
        QTest::mouseClick(Control<QPushButton>(1016), Qt::LeftButton);
        QCOMPARE(m_page->FileToProgram(), first);
        m_page->RefreshNow();
        QCOMPARE(Control<QLineEdit>(1021)->text(), first);
        QTest::mouseClick(Control<QRadioButton>(1068), Qt::LeftButton);
        QTRY_COMPARE(shown(), autoMode);
    }

    void refusedBeforeTheWorker_data()
    {
        QTest::addColumn<bool>("bootMode");
        QTest::addColumn<bool>("manual");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("downloads");
        const QStringList none;
        QTest::newRow("unit in normal mode") << false << false << u"Error[7001]"_s << none;
        QTest::newRow("manual, no file chosen") << true << true << QString() << none;
        QTest::newRow("auto, download fails")
            << true << false << QString() << QStringList{u"1 / 1 /FW/TavoFw.bin"_s};
    }
    void refusedBeforeTheWorker()
    {
        QFETCH(bool, bootMode);
        QFETCH(bool, manual);
        QFETCH(QString, box);
        QFETCH(QStringList, downloads);
        const QString image = m_tree.Path(u"/FW/TavoFw.bin"_s);
        const auto restore = qScopeGuard([&] { QFile::rename(image + u".away"_s, image); });
        if (!downloads.isEmpty())
            QVERIFY(QFile::rename(image, image + u".away"_s));
        m_state->m_identity.bootMode = bootMode;
        OpenPage();
        if (manual)
            Manual();
        DownloadStepper stepper(m_tree.Base());
        ClickUpdate();
        QCOMPARE(m_boxes->texts().join(u' '), box);
        QCOMPARE(Describe(Sent()), bootMode ? QStringList{u"$RH"_s} : QStringList{});
        QCOMPARE(stepper.m_seen, downloads);
        QTRY_VERIFY(UpdateEnabled()); // not marked reprogrammed
    }

    void programmed_data()
    {
        QTest::addColumn<bool>("fromServer"); // else a file of the user's, chosen with Browse
        QTest::addColumn<QString>("goes");    // what is closed on the way
        QTest::newRow("chosen file, page gone while the notice is open") << false << u"page"_s;
        QTest::newRow("from the server") << true << QString();
        QTest::newRow("from the server, window closed mid-stream") << true << u"sheet"_s;
    }
    // What a file becomes on the wire is the engine's; here the page hands the file over.
    void programmed()
    {
        QFETCH(bool, fromServer);
        QFETCH(QString, goes);
        if (goes == u"sheet"_s) { // a unit slow enough for the stream to be under way
            m_unit.reset();
            m_unit = std::make_unique<testsupport::UnitFixture>(true, 0, true);
        }
        m_unit->unit().unplug(); // plugged in again with its POI button held: boot mode
        m_unit->unit().setBootButton(true);
        m_unit->unit().plug();
        QByteArray file = ReadFile(m_tree.Path(u"/FW/TavoFw.bin"_s));
        if (fromServer) {
            OpenSheet(CProptySheet::PageId::Reset);
            m_unit->unit().clearTrace();
        } else {
            file = PatternBytes(65536, 9);
            QVERIFY(WriteFile(m_work.filePath(u"image.bin"_s), file));
            OpenPage();
            Manual(m_work.filePath(u"image.bin"_s));
        }
        // The link stays busy, and the bar full, while the notice is open.
        bool busyWhileOpen = false;
        int barWhileOpen = -1;
        m_boxes->setOnShow([&](const platform::MessageBoxRecorder::Shown&) {
            busyWhileOpen = State().m_bDeviceBusy.load() != 0;
            barWhileOpen = Control<QProgressBar>(1060)->value();
            if (goes == u"page"_s)
                delete m_page.data();
        });
        {
            const platform::FixedClock clock(platform::LocalTime{2009, 1, 1, 0, 5, 0, 7});
            DownloadStepper stepper(m_tree.Base());
            ClickUpdate();
            QCOMPARE(stepper.m_seen.join(u' '), fromServer ? u"1 / 1 /FW/TavoFw.bin"_s : QString());
        }
        QCOMPARE(State().m_bReprogrammed.load(), 1);
        // Downloads land, and stay, in the documents folder.
        if (fromServer)
            QCOMPARE(m_page->FileToProgram(),
                     testsupport::TempHome::documents() + u"/Tavo_Fw20091157.bin"_s);
        if (goes == u"sheet"_s) {
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
        QVERIFY(QTest::qWaitFor([this] { return !m_page || !m_page->WorkerRunning(); }, 20000));
        QCoreApplication::processEvents(); // what the worker posted
        QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
        QCOMPARE(m_boxes->shown().at(0).caption, u" "_s);
        QVERIFY(busyWhileOpen);
        QCOMPARE(barWhileOpen, 100);
        const Packets sent = Sent();
        QCOMPARE(Describe(sent), (QStringList{u"$RH"_s, u"$WFE 00000000 65536 1024 +1024"_s}));
        QCOMPARE(StreamData(sent, 1), file);
        if (!m_page)
            return;
        QVERIFY(QFile::exists(m_page->FileToProgram()));
        // The sheet's own polling does not bring the button back while the unit stays.
        if (m_sheet)
            Tick();
        QTRY_VERIFY(!UpdateEnabled());
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
        OpenSheet(CProptySheet::PageId::Reset);
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
            Tick();
            dialog->reject();
        });
        watcher.start(10);
        QTest::mouseClick(Control<QPushButton>(browse ? 1016 : 1059), Qt::LeftButton);
        watcher.stop();
        QCOMPARE(seen, browse ? u"QFileDialog"_s : u"QMessageBox"_s);
        // The handler has come back to the same page object, whose window was made anew.
        QCOMPARE(m_sheet->Page(CProptySheet::PageId::Reset), page.data());
        QCOMPARE(Sent().size(), 0U);
    }

private:
    void OpenPage()
    {
        m_page = new CPage_Reset(*m_state);
        m_page->show();
        QVERIFY(m_page->IsInitialised());
    }
    bool UpdateEnabled() const { return Control<QPushButton>(1059)->isEnabled(); }
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
    }

    ServedTree m_tree;
    QTemporaryDir m_work;
    std::unique_ptr<platform::FileDialogRecorder> m_dialogs;
};

QTEST_MAIN(TestUpdateRecovery)
#include "test_update_recovery.moc"
