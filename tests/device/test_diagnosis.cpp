// The diagnosis page and its check dialog in the real main sheet, against an in-process
// virtual unit.

#include "SheetFixture.h"
#include "device/CPage_Diagnosis.h"
#include "link/CCrcCheck.h"
#include "link/Packets.h"
#include "link/UsbLink.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

// The result lines of sound, database and images with these status texts (121 "Not Checked.",
// 122 "OK.", 123 "Damaged.").
QStringList Results(int sound, int db, int images)
{
    return {u"ui-118ui-%1"_s.arg(sound), u"ui-119ui-%1"_s.arg(db), u"ui-120ui-%1"_s.arg(images)};
}
const QStringList kNotChecked = Results(121, 121, 121);
const QStringList kIntact = Results(122, 122, 122);

// Steps the dialog's timer: starts the worker, lets it finish, ticks once more.
void StepToAnswer(CCrcCheck& check)
{
    check.Timer().stop();
    check.OnTimer(CCrcCheck::kTimerId);
    QVERIFY(QTest::qWaitFor([&check] { return !check.WorkerRunning(); }, 5000));
    check.OnTimer(CCrcCheck::kTimerId);
}

} // namespace

class TestDiagnosis final : public testsupport::SheetFixture<CPage_Diagnosis>
{
    Q_OBJECT

private slots:
    void init()
    {
        Init(100);
        OpenSheet(CProptySheet::PageId::Diagnosis);
    }
    void cleanup() { Cleanup(); }

    void diagnosis_data()
    {
        QTest::addColumn<QString>("fault");     // "boot": the unit is in boot mode
        QTest::addColumn<QByteArray>("answer"); // bytes 60, 61, 62 of "$RC", when overridden
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("lines");
        // The first row lets the dialog's own timer run.
        QTest::newRow("intact") << QString() << QByteArray() << u"$BT $RC"_s << QString()
                                << kIntact;
        QTest::newRow("database 0, voice 2") << QString() << QByteArray("\x01\x00\x02", 3)
                                             << u"$BT $RC"_s << QString() << Results(123, 123, 122);
        QTest::newRow("boot mode")
            << u"boot"_s << QByteArray() << QString() << u"Error[6001]"_s << kNotChecked;
    }
    void diagnosis()
    {
        QFETCH(QString, fault);
        QFETCH(QByteArray, answer);
        QFETCH(QString, sent);
        QFETCH(QString, box);
        QFETCH(QStringList, lines);
        m_sheet->m_identity.bootMode = fault == u"boot"_s;
        if (!answer.isEmpty())
            m_unit->unit().overrideCheckAnswer(std::array<std::uint8_t, 3>{
                std::uint8_t(answer[0]), std::uint8_t(answer[1]), std::uint8_t(answer[2])});
        m_unit->unit().clearTrace();
        const bool ownTimer = qstrcmp(QTest::currentDataTag(), "intact") == 0;
        qint64 closedAfterAnswerMs = 0;
        Run([&](CCrcCheck& check) {
            QCOMPARE(m_sheet->m_bDeviceBusy.load(), 1);
            QVERIFY(!Button()->isEnabled());
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
        QCOMPARE(Commands().join(u' '), sent);
        QCOMPARE(m_boxes->texts().join(u' '), box);
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        QTRY_COMPARE(Lines(1157, 3), lines);
        QTRY_VERIFY(Button()->isEnabled());
    }

    void earlyEnd_data()
    {
        QTest::addColumn<bool>("sheetCloses"); // a 10 s check, else an answer that never comes
        QTest::newRow("never answers, Enter") << false;
        QTest::newRow("10 s check, the sheet closes") << true;
    }
    // Ended before an answer: no results, the link free at once and the worker soon gone, and
    // the unit's late answer kept out of the next exchange.
    void earlyEnd()
    {
        QFETCH(bool, sheetCloses);
        m_unit->unit().setCheckDelayMs(sheetCloses ? 10000 : 0);
        std::weak_ptr<const CrcCheckState> worker;
        Run([&](CCrcCheck& check) {
            if (!sheetCloses)
                m_unit->unit().control("fault stall");
            m_unit->unit().clearTrace();
            check.Timer().stop();
            check.OnTimer(CCrcCheck::kTimerId);
            worker = check.State();
            QVERIFY(m_unit->unit().waitForTrace(1, 5000)); // the unit has the "$RC"
            QTest::qWait(50);
            QCOMPARE(check.findChild<QLabel*>(u"1160"_s)->text(), u"ui-125"_s);
            QVERIFY(check.isVisible());
            if (sheetCloses)
                m_sheet->close();
            else
                QTest::keyClick(&check, Qt::Key_Return);
        });
        QCOMPARE(m_boxes->texts(), QStringList());
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        QCOMPARE(Lines(1157, 3), kNotChecked);
        if (!sheetCloses) // a closed sheet applies no enable rule
            QTRY_VERIFY(Button()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(worker.expired(), 1000);
        BuildCommand("$RD", 0x3FE000, 64, 1);
        QVERIFY(UsbTransactReport(true));
        QCOMPARE(g_ansPacket[1], 0x0A); // the settings record, not the "$RC" answer
    }

    // Diagnosis only while a unit is connected and the link is neither busy nor reprogrammed.
    void enableRule()
    {
        for (auto [connected, busy, reprogrammed] :
             {std::tuple{1, 1, 0}, {1, 0, 1}, {0, 0, 0}, {1, 0, 0}}) {
            theApp().m_bConnected = connected;
            m_sheet->SetDeviceBusy(busy);
            m_sheet->SetReprogrammed(reprogrammed);
            QTRY_COMPARE(Button()->isEnabled(), connected && !busy && !reprogrammed);
        }
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
        Detect(CProptySheet::PageId::Diagnosis);
        QCOMPARE(Lines(1157, 3), kNotChecked);
        QCOMPARE(Lines(1200, 4), (QStringList{u"HW_ID - 01"_s, u"DB Ver - 081021"_s,
                                              u"Voice Ver - 081001"_s, u"Image Ver - 081001"_s}));
    }

private:
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
    QPushButton* Button() const { return Control<QPushButton>(1156); }
    QStringList Lines(int firstId, int count) const
    {
        QStringList lines;
        for (int id = firstId; id < firstId + count; ++id)
            lines.append(Control<QLabel>(id)->text());
        return lines;
    }
};

QTEST_MAIN(TestDiagnosis)
#include "test_diagnosis.moc"
