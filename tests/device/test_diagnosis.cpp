// The diagnosis page and its check dialog in the real main sheet, against an in-process
// virtual unit: the result lines, the busy flag, and what an early end of the check leaves
// on the link.

#include "TempHome.h"
#include "UnitFixture.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "device/CPage_Diagnosis.h"
#include "link/CCrcCheck.h"
#include "link/Packets.h"
#include "link/UsbLink.h"
#include "platform/MessageBoxRecorder.h"
#include "ui/CProptySheet.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;
using PageId = CProptySheet::PageId;

namespace {

const QStringList kNotChecked{u"Sound - Not Checked."_s, u"DB - Not Checked."_s,
                              u"Image - Not Checked."_s};

// The commands the host sent, by their three letters.
QStringList Commands(const std::vector<std::vector<std::uint8_t>>& sent)
{
    QStringList commands;
    for (const auto& packet : sent)
        commands.append(QString::fromLatin1(reinterpret_cast<const char*>(packet.data()), 3));
    return commands;
}

// Steps the dialog's timer instead of waiting for it: starts the worker, lets it finish and
// ticks once more.
void StepToAnswer(CCrcCheck& check)
{
    check.Timer().stop();
    check.OnTimer(CCrcCheck::kTimerId);
    QVERIFY(QTest::qWaitFor([&check] { return !check.WorkerRunning(); }, 5000));
    check.OnTimer(CCrcCheck::kTimerId);
}

} // namespace

class TestDiagnosis final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        CTavoApp& app = theApp();
        for (int n = 0; n < CTavoApp::kTextCount; ++n)
            app.m_strText[static_cast<std::size_t>(n)] = u"ui-%1"_s.arg(n, 3, 10, QLatin1Char('0'));
        const QStringList english{u"Sound - "_s,     u"DB - "_s, u"Image - "_s,
                                  u"Not Checked."_s, u"OK."_s,   u"Damaged."_s};
        for (int i = 0; i < english.size(); ++i)
            app.m_strText[static_cast<std::size_t>(118 + i)] = english[i];
        app.SetRegistryKey(CTavoApp::kRegistryKey);
        m_unit = std::make_unique<testsupport::UnitFixture>();
        m_boxes = std::make_unique<platform::MessageBoxRecorder>();
        OpenSheet();
    }

    void cleanup()
    {
        m_sheet.reset();
        theApp().m_pSheet = nullptr;
        m_boxes.reset();
        m_unit.reset();
    }

    // Before any check: the identity zero-padded, and every result not checked.
    void linesBeforeACheck()
    {
        QCOMPARE(Lines(1200, 4), (QStringList{u"HW_ID - 01"_s, u"DB Ver - 081021"_s,
                                              u"Voice Ver - 081001"_s, u"Image Ver - 081001"_s}));
        QCOMPARE(Lines(1157, 3), kNotChecked);
        QCOMPARE(Button()->text(), u"ui-117"_s);
        QVERIFY(Button()->isEnabled());
    }

    void check_data()
    {
        QTest::addColumn<QString>("control");   // what the unit is told first
        QTest::addColumn<QByteArray>("answer"); // its bytes 60, 61, 62, when overridden
        QTest::addColumn<bool>("realTimer");    // the dialog's own 500 ms timer runs
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("intact, own timer")
            << QString() << QByteArray() << true
            << QStringList{u"Sound - OK."_s, u"DB - OK."_s, u"Image - OK."_s};
        QTest::newRow("database damaged")
            << u"damage db"_s << QByteArray() << false
            << QStringList{u"Sound - OK."_s, u"DB - Damaged."_s, u"Image - OK."_s};
        QTest::newRow("voice byte 2")
            << QString() << QByteArray("\x01\x01\x02", 3) << false
            << QStringList{u"Sound - Damaged."_s, u"DB - OK."_s, u"Image - OK."_s};
    }
    // A check that completes: "$BT", "$RC", the lines from bytes 62, 61, 60, the link freed.
    void check()
    {
        QFETCH(QString, control);
        QFETCH(QByteArray, answer);
        QFETCH(bool, realTimer);
        QFETCH(QStringList, lines);
        m_unit->unit().setCheckDelayMs(100);
        if (!control.isEmpty())
            QCOMPARE(m_unit->unit().control(control.toStdString()), "ok\n");
        if (!answer.isEmpty())
            m_unit->unit().overrideCheckAnswer(std::array<std::uint8_t, 3>{
                std::uint8_t(answer[0]), std::uint8_t(answer[1]), std::uint8_t(answer[2])});
        m_unit->unit().clearTrace();

        qint64 closedAfterAnswerMs = 0;
        RunDiagnosis([&](CCrcCheck& check) {
            // Busy from the start, every line back to not checked.
            QCOMPARE(m_sheet->m_bDeviceBusy.load(), 1);
            QCOMPARE(Lines(1157, 3), kNotChecked);
            if (!realTimer)
                return StepToAnswer(check);
            QVERIFY(QTest::qWaitFor([&check] { return check.Done(); }, 5000));
            QElapsedTimer sinceAnswer;
            sinceAnswer.start();
            QVERIFY(QTest::qWaitFor([&check] { return !check.isVisible(); }, 5000));
            closedAfterAnswerMs = sinceAnswer.elapsed();
        });
        QVERIFY(closedAfterAnswerMs <= CCrcCheck::kTimerPeriodMs + 100);
        QCOMPARE(Commands(m_unit->sentPackets()), (QStringList{u"$BT"_s, u"$RC"_s}));
        QCOMPARE(m_boxes->texts(), QStringList());
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        QTRY_COMPARE(Lines(1157, 3), lines);
        QTRY_VERIFY(Button()->isEnabled());
    }

    void refusals_data()
    {
        QTest::addColumn<bool>("bootMode");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QString>("box");
        QTest::newRow("boot mode") << true << QString() << QStringList() << u"Error[6001]"_s;
        QTest::newRow("handshake refused")
            << false << u"fault nak"_s << QStringList{u"$BT"_s} << u"Error[9003]"_s;
    }
    // No check dialog: only the one box, and the link is free again.
    void refusals()
    {
        QFETCH(bool, bootMode);
        QFETCH(QString, control);
        QFETCH(QStringList, sent);
        QFETCH(QString, box);
        m_sheet->m_identity.bootMode = bootMode;
        if (!control.isEmpty())
            m_unit->unit().control(control.toStdString());
        m_unit->unit().clearTrace();
        bool opened = false;
        RunDiagnosis([&opened](CCrcCheck& check) {
            opened = true;
            check.reject();
        });
        m_sheet->m_identity.bootMode = false;
        QVERIFY(!opened);
        QCOMPARE(m_boxes->texts(), QStringList{box});
        QCOMPARE(Commands(m_unit->sentPackets()), sent);
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
    }

    void earlyEnd_data()
    {
        QTest::addColumn<int>("checkDelayMs");
        QTest::addColumn<QString>("fault"); // given once "$BT" has been answered
        QTest::addColumn<QString>("end");   // how the dialog ends
        QTest::addColumn<QString>("box");
        QTest::newRow("never answers, Escape") << 0 << u"stall"_s << u"escape"_s << QString();
        QTest::newRow("never answers, Enter") << 0 << u"stall"_s << u"enter"_s << QString();
        QTest::newRow("10 s check, close box") << 10000 << QString() << u"close"_s << QString();
        QTest::newRow("10 s check, the sheet closes")
            << 10000 << QString() << u"sheet"_s << QString();
        QTest::newRow("check refused, then Escape")
            << 0 << u"nak"_s << u"escape"_s << u"Error[9003]"_s;
    }
    // Ended before an answer: no results, the link free at once, and the unit's late answer
    // kept out of the next exchange; the worker does not outlive the dialog for long.
    void earlyEnd()
    {
        QFETCH(int, checkDelayMs);
        QFETCH(QString, fault);
        QFETCH(QString, end);
        QFETCH(QString, box);
        m_unit->unit().setCheckDelayMs(checkDelayMs);
        std::weak_ptr<const CrcCheckState> worker;
        RunDiagnosis([&](CCrcCheck& check) {
            if (!fault.isEmpty())
                m_unit->unit().control("fault " + fault.toStdString());
            m_unit->unit().clearTrace();
            check.Timer().stop();
            check.OnTimer(CCrcCheck::kTimerId);
            worker = check.State();
            QVERIFY(m_unit->unit().waitForTrace(1, 5000)); // the unit has the "$RC"
            if (!box.isEmpty())
                QVERIFY(QTest::qWaitFor([&check] { return !check.WorkerRunning(); }, 5000));
            QTest::qWait(50);
            QCOMPARE(check.findChild<QLabel*>(u"1160"_s)->text(), u"ui-125"_s);
            QVERIFY(check.isVisible());
            if (end == u"escape"_s)
                QTest::keyClick(&check, Qt::Key_Escape);
            else if (end == u"enter"_s)
                QTest::keyClick(&check, Qt::Key_Return);
            else if (end == u"close"_s)
                check.close();
            else
                m_sheet->close();
        });
        QCOMPARE(m_boxes->texts(), box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        QCOMPARE(theApp().m_bCheckDone.load(), 0);
        QCOMPARE(Lines(1157, 3), kNotChecked);
        if (end != u"sheet"_s) // a closed sheet applies no enable rule
            QTRY_VERIFY(Button()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(worker.expired(), 1000);

        // The next exchange, a settings read, gets its own answer at once.
        QElapsedTimer read;
        read.start();
        BuildCommand("$RD", 0x3FE000, 64, 1);
        QVERIFY(UsbTransactReport(true));
        QVERIFY(read.elapsed() < 1000);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(g_ansPacket.data()), 4).toHex(' '),
                 "00 0a 00 00");
    }

    void enableRule_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("reprogrammed");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("idle") << true << false << false << true;
        QTest::newRow("another page's transfer") << true << true << false << false;
        QTest::newRow("reprogrammed") << true << false << true << false;
        QTest::newRow("no unit") << false << false << false << false;
    }
    void enableRule()
    {
        QFETCH(bool, connected);
        QFETCH(bool, busy);
        QFETCH(bool, reprogrammed);
        QFETCH(bool, enabled);
        theApp().m_bConnected = connected;
        m_sheet->SetDeviceBusy(busy);
        m_sheet->SetReprogrammed(reprogrammed);
        QTRY_COMPARE(Button()->isEnabled(), enabled);
        m_sheet->SetDeviceBusy(false);
    }

    // A unit detected again shows no result of the check made before.
    void redetectionForgetsTheResults()
    {
        RunDiagnosis(StepToAnswer);
        QTRY_COMPARE(Lines(1157, 1), QStringList{u"Sound - OK."_s});
        m_unit->unit().unplug();
        Tick();
        QVERIFY(!m_sheet->Page(PageId::Diagnosis));
        m_unit->unit().plug();
        Tick();
        Tick();
        ShowPage();
        QCOMPARE(Lines(1157, 3), kNotChecked);
    }

private:
    void OpenSheet()
    {
        theApp().m_bConnected = 0;
        m_sheet = std::make_unique<CProptySheet>(theApp());
        theApp().m_pSheet = m_sheet.get();
        m_sheet->Timers().SetManual(true);
        m_sheet->m_bDiagnosisUnlocked = true;
        m_sheet->show();
        Tick(); // connect
        Tick(); // identity and pages
        ShowPage();
    }
    void ShowPage()
    {
        m_page = qobject_cast<CPage_Diagnosis*>(m_sheet->Page(PageId::Diagnosis));
        QVERIFY(m_page);
        m_sheet->SetActivePage(theApp().m_nPageDiagnosis);
        QVERIFY(m_page->isVisible());
    }
    void Tick() { m_sheet->OnTimer(CProptySheet::kDetectionTimer); }

    // Presses Diagnosis; act runs on the check dialog once it is up, inside its modal run.
    void RunDiagnosis(const std::function<void(CCrcCheck&)>& act)
    {
        QTimer poll;
        poll.setInterval(2);
        connect(&poll, &QTimer::timeout, &poll, [&poll, &act] {
            if (auto* check = qobject_cast<CCrcCheck*>(QApplication::activeModalWidget())) {
                poll.stop();
                act(*check);
            }
        });
        poll.start();
        Button()->click();
    }

    QPushButton* Button() const { return m_page->findChild<QPushButton*>(u"1156"_s); }
    QStringList Lines(int firstId, int count) const
    {
        QStringList lines;
        for (int id = firstId; id < firstId + count; ++id)
            lines.append(m_page->findChild<QLabel*>(QString::number(id))->text());
        return lines;
    }

    testsupport::TempHome m_home;
    std::unique_ptr<testsupport::UnitFixture> m_unit;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    std::unique_ptr<CProptySheet> m_sheet;
    QPointer<CPage_Diagnosis> m_page;
};

QTEST_MAIN(TestDiagnosis)
#include "test_diagnosis.moc"
