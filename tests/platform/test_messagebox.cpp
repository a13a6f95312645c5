// The real message-box service: a worker's box is shown on the user-interface thread while the
// worker waits for the answer, unless the worker is told to stop.
#include "platform/MessageBox.h"
#include "platform/UiThread.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <thread>

using platform::MsgAnswer;
using platform::MsgButtons;
Q_DECLARE_METATYPE(MsgButtons)
Q_DECLARE_METATYPE(MsgAnswer)

class TestMessageBox final : public QObject
{
    Q_OBJECT

private slots:
    void workerWaitsForTheBoxOnTheUiThread_data()
    {
        QTest::addColumn<MsgButtons>("buttons");
        QTest::addColumn<MsgAnswer>("answer"); // the button pressed
        QTest::addColumn<bool>("stopped");     // the worker is told to stop before its box shows
        QTest::newRow("ok") << MsgButtons::Ok << MsgAnswer::Ok << false;
        QTest::newRow("cancel") << MsgButtons::OkCancel << MsgAnswer::Cancel << false;
        QTest::newRow("no") << MsgButtons::YesNoCancel << MsgAnswer::No << false;
        // Its owner joins it on the user-interface thread, which cannot show the box meanwhile:
        // the box never shows, and the worker takes the answer of a box closed without a choice.
        QTest::newRow("stopped") << MsgButtons::OkCancel << MsgAnswer::Cancel << true;
    }

    void workerWaitsForTheBoxOnTheUiThread()
    {
        QFETCH(MsgButtons, buttons);
        QFETCH(MsgAnswer, answer);
        QFETCH(bool, stopped);
        const auto pressed = answer == MsgAnswer::Ok   ? QMessageBox::Ok
                             : answer == MsgAnswer::No ? QMessageBox::No
                                                       : QMessageBox::Cancel;
        // The box runs its own event loop: a timer inside it finds the box and answers it.
        QString seen;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box && box->button(pressed)) {
                seen = box->windowTitle() + u' ' + box->text();
                box->button(pressed)->click();
            }
        });
        closer.start(10);
        // The owner is a widget of the user-interface thread, which a worker must never touch.
        QWidget owner;
        std::atomic<int> got{-1};
        std::stop_source stop;
        std::thread worker([&] {
            const platform::StopBinding binding(stop.get_token());
            got = int(platform::MessageBox(QStringLiteral("Error[9002]"), QStringLiteral("Tavo"),
                                           buttons, &owner));
        });
        if (stopped) {
            QTest::qSleep(50); // the worker has asked for its box by now
            stop.request_stop();
        }
        QTRY_VERIFY_WITH_TIMEOUT(got.load() >= 0, 10000);
        worker.join();
        QTest::qWait(20);
        QCOMPARE(seen, stopped ? QString() : QStringLiteral("Tavo Error[9002]"));
        QCOMPARE(got.load(), int(answer));
    }
};

QTEST_MAIN(TestMessageBox)
#include "test_messagebox.moc"
