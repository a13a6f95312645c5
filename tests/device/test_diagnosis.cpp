// The diagnosis page and its check dialog in the real main sheet, against an in-process
// virtual unit.

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

namespace {

const QStringList kNotChecked{u"Sound - Not Checked."_s, u"DB - Not Checked."_s,
                              u"Image - Not Checked."_s};
const QStringList kIntact{u"Sound - OK."_s, u"DB - OK."_s, u"Image - OK."_s};

// Steps the dialog's timer: starts the worker, lets it finish, ticks once more.
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
            app.m_strText[std::size_t(n)] = u"ui-%1"_s.arg(n, 3, 10, QLatin1Char('0'));
        const QStringList english{u"Sound - "_s,     u"DB - "_s, u"Image - "_s,
                                  u"Not Checked."_s, u"OK."_s,   u"Damaged."_s};
        for (int i = 0; i < english.size(); ++i)
            app.m_strText[std::size_t(118 + i)] = english[i];
        app.SetRegistryKey(CTavoApp::kRegistryKey);
        m_unit = std::make_unique<testsupport::UnitFixture>(true, 100);
        m_boxes = std::make_unique<platform::MessageBoxRecorder>();
        theApp().m_bConnected = 0;
        m_sheet = std::make_unique<CProptySheet>(theApp());
        theApp().m_pSheet = m_sheet.get();
        m_sheet->Timers().SetManual(true);
        m_sheet->m_bDiagnosisUnlocked = true;
        m_sheet->show();
        Detect();
    }
    void cleanup()
    {
        m_sheet.reset();
        theApp().m_pSheet = nullptr;
        m_boxes.reset();
        m_unit.reset();
    }

    void diagnosis_data()
    {
        QTest::addColumn<QString>("setup");     // "boot", or a command for the unit
        QTest::addColumn<QByteArray>("answer"); // bytes 60, 61, 62 of "$RC", when overridden
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("lines");
        // The first row lets the dialog's own timer run.
        QTest::newRow("intact") << QString() << QByteArray() << u"$BT $RC"_s << QString()
                                << kIntact;
        QTest::newRow("database damaged")
            << u"damage db"_s << QByteArray() << u"$BT $RC"_s << QString()
            << QStringList{u"Sound - OK."_s, u"DB - Damaged."_s, u"Image - OK."_s};
        QTest::newRow("voice byte 2")
            << QString() << QByteArray("\x01\x01\x02", 3) << u"$BT $RC"_s << QString()
            << QStringList{u"Sound - Damaged."_s, u"DB - OK."_s, u"Image - OK."_s};
        QTest::newRow("boot mode")
            << u"boot"_s << QByteArray() << QString() << u"Error[6001]"_s << kNotChecked;
        QTest::newRow("handshake refused")
            << u"fault nak"_s << QByteArray() << u"$BT"_s << u"Error[9003]"_s << kNotChecked;
    }
    void diagnosis()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, answer);
        QFETCH(QString, sent);
        QFETCH(QString, box);
        QFETCH(QStringList, lines);
        m_sheet->m_identity.bootMode = setup == u"boot"_s;
        if (!setup.isEmpty() && setup != u"boot"_s)
            QCOMPARE(m_unit->unit().control(setup.toStdString()), "ok\n");
        if (!answer.isEmpty())
            m_unit->unit().overrideCheckAnswer(std::array<std::uint8_t, 3>{
                std::uint8_t(answer[0]), std::uint8_t(answer[1]), std::uint8_t(answer[2])});
        m_unit->unit().clearTrace();
        const bool ownTimer = qstrcmp(QTest::currentDataTag(), "intact") == 0;
        qint64 closedAfterAnswerMs = 0;
        Run([&](CCrcCheck& check) {
            QCOMPARE(m_sheet->m_bDeviceBusy.load(), 1);
            QCOMPARE(Lines(1157, 3), kNotChecked);
            if (!ownTimer)
                return StepToAnswer(check);
            QVERIFY(QTest::qWaitFor([&check] { return check.Done(); }, 5000));
            QElapsedTimer sinceAnswer;
            sinceAnswer.start();
            QVERIFY(QTest::qWaitFor([&check] { return !check.isVisible(); }, 5000));
            closedAfterAnswerMs = sinceAnswer.elapsed();
        });
        m_sheet->m_identity.bootMode = false;
        QVERIFY(closedAfterAnswerMs <= CCrcCheck::kTimerPeriodMs + 100);
        QStringList commands;
        for (const auto& packet : m_unit->sentPackets())
            commands.append(QString::fromLatin1(reinterpret_cast<const char*>(packet.data()), 3));
        QCOMPARE(commands.join(u' '), sent);
        QCOMPARE(m_boxes->texts().join(u' '), box);
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        QTRY_COMPARE(Lines(1157, 3), lines);
        QTRY_VERIFY(Button()->isEnabled());
    }

    void earlyEnd_data()
    {
        QTest::addColumn<int>("checkDelayMs");
        QTest::addColumn<QString>("fault"); // given once "$BT" has been answered
        QTest::addColumn<QString>("end");   // how the dialog ends
        QTest::newRow("never answers, Escape") << 0 << u"stall"_s << u"escape"_s;
        QTest::newRow("never answers, Enter") << 0 << u"stall"_s << u"enter"_s;
        QTest::newRow("10 s check, close box") << 10000 << QString() << u"close"_s;
        QTest::newRow("10 s check, the sheet closes") << 10000 << QString() << u"sheet"_s;
        QTest::newRow("check refused, then Escape") << 0 << u"nak"_s << u"escape"_s;
    }
    // Ended before an answer: no results, the link free at once and the worker soon gone, and
    // the unit's late answer kept out of the next exchange.
    void earlyEnd()
    {
        QFETCH(int, checkDelayMs);
        QFETCH(QString, fault);
        QFETCH(QString, end);
        m_unit->unit().setCheckDelayMs(checkDelayMs);
        std::weak_ptr<const CrcCheckState> worker;
        Run([&](CCrcCheck& check) {
            if (!fault.isEmpty())
                m_unit->unit().control("fault " + fault.toStdString());
            m_unit->unit().clearTrace();
            check.Timer().stop();
            check.OnTimer(CCrcCheck::kTimerId);
            worker = check.State();
            QVERIFY(m_unit->unit().waitForTrace(1, 5000)); // the unit has the "$RC"
            if (fault == u"nak"_s)
                QVERIFY(m_boxes->waitForCount(1, 5000));
            QTest::qWait(50);
            QCOMPARE(check.findChild<QLabel*>(u"1160"_s)->text(), u"ui-125"_s);
            QVERIFY(check.isVisible());
            if (end == u"escape"_s || end == u"enter"_s)
                QTest::keyClick(&check, end == u"enter"_s ? Qt::Key_Return : Qt::Key_Escape);
            else
                (end == u"close"_s ? static_cast<QWidget*>(&check) : m_sheet.get())->close();
        });
        QCOMPARE(m_boxes->texts(),
                 fault == u"nak"_s ? QStringList{u"Error[9003]"_s} : QStringList());
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        QCOMPARE(Lines(1157, 3), kNotChecked);
        if (end != u"sheet"_s) // a closed sheet applies no enable rule
            QTRY_VERIFY(Button()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(worker.expired(), 1000);

        QElapsedTimer read;
        read.start();
        BuildCommand("$RD", 0x3FE000, 64, 1);
        QVERIFY(UsbTransactReport(true));
        QVERIFY(read.elapsed() < 1000);
        QCOMPARE(g_ansPacket[1], 0x0A); // the settings record, not the "$RC" answer
    }

    void enableRule_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("reprogrammed");
        QTest::newRow("idle") << true << false << false;
        QTest::newRow("another page's transfer") << true << true << false;
        QTest::newRow("reprogrammed") << true << false << true;
        QTest::newRow("no unit") << false << false << false;
    }
    void enableRule()
    {
        QFETCH(bool, connected);
        QFETCH(bool, busy);
        QFETCH(bool, reprogrammed);
        theApp().m_bConnected = connected;
        m_sheet->SetDeviceBusy(busy);
        m_sheet->SetReprogrammed(reprogrammed);
        QTRY_COMPARE(Button()->isEnabled(), connected && !busy && !reprogrammed);
        m_sheet->SetDeviceBusy(false);
    }

    // The identity zero-padded; a unit detected again shows no result of an earlier check.
    void redetectionForgetsTheResults()
    {
        Run(StepToAnswer);
        QTRY_COMPARE(Lines(1157, 3), kIntact);
        m_unit->unit().unplug();
        Tick();
        QVERIFY(!m_sheet->Page(CProptySheet::PageId::Diagnosis));
        m_unit->unit().plug();
        Detect();
        QCOMPARE(Lines(1157, 3), kNotChecked);
        QCOMPARE(Lines(1200, 4), (QStringList{u"HW_ID - 01"_s, u"DB Ver - 081021"_s,
                                              u"Voice Ver - 081001"_s, u"Image Ver - 081001"_s}));
    }

private:
    void Tick() { m_sheet->OnTimer(CProptySheet::kDetectionTimer); }
    // The sheet finds the unit, reads its identity and shows the diagnosis page.
    void Detect()
    {
        Tick();
        Tick();
        m_page = qobject_cast<CPage_Diagnosis*>(m_sheet->Page(CProptySheet::PageId::Diagnosis));
        QVERIFY(m_page);
        m_sheet->SetActivePage(theApp().m_nPageDiagnosis);
    }
    // Presses Diagnosis; act runs on the check dialog once it is up, inside its modal run.
    void Run(const std::function<void(CCrcCheck&)>& act)
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
