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

Q_DECLARE_METATYPE(platform::MsgButtons)
Q_DECLARE_METATYPE(platform::MsgAnswer)

class TestMessageBox final : public QObject
{
    Q_OBJECT

private slots:
    void workerWaitsForTheBoxOnTheUiThread_data();
    void workerWaitsForTheBoxOnTheUiThread();
    void stoppedWorkerStopsWaiting_data();
    void stoppedWorkerStopsWaiting();
};

void TestMessageBox::workerWaitsForTheBoxOnTheUiThread_data()
{
    QTest::addColumn<platform::MsgButtons>("buttons");
    QTest::addColumn<QMessageBox::StandardButton>("pressed");
    QTest::addColumn<platform::MsgAnswer>("answer");
    QTest::newRow("ok") << platform::MsgButtons::Ok << QMessageBox::Ok << platform::MsgAnswer::Ok;
    QTest::newRow("cancel") << platform::MsgButtons::OkCancel << QMessageBox::Cancel
                            << platform::MsgAnswer::Cancel;
    QTest::newRow("no") << platform::MsgButtons::YesNoCancel << QMessageBox::No
                        << platform::MsgAnswer::No;
}

void TestMessageBox::workerWaitsForTheBoxOnTheUiThread()
{
    QFETCH(platform::MsgButtons, buttons);
    QFETCH(QMessageBox::StandardButton, pressed);
    QFETCH(platform::MsgAnswer, answer);
    // The box runs its own event loop: a timer inside it finds the box and answers it.
    QString seen;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->button(pressed))
            return;
        seen = QStringLiteral("%1 %2 %3")
                   .arg(box->windowTitle(), box->text())
                   .arg(box->thread() == QThread::currentThread());
        box->button(pressed)->click();
    });
    closer.start(10);
    // The owner is a widget of the user-interface thread, which a worker must never touch.
    QWidget owner;
    std::atomic<int> got{-1};
    std::thread worker([&] {
        got = int(platform::MessageBox(QStringLiteral("Error[9002]"), QStringLiteral("Tavo"),
                                       buttons, &owner));
    });
    QTRY_VERIFY_WITH_TIMEOUT(got.load() >= 0, 10000);
    worker.join();
    QCOMPARE(seen, QStringLiteral("Tavo Error[9002] 1"));
    QCOMPARE(got.load(), int(answer));
}

void TestMessageBox::stoppedWorkerStopsWaiting_data()
{
    QTest::addColumn<bool>("boxOpen"); // else the stop comes before the box could show
    QTest::newRow("stopped before the box shows") << false;
    QTest::newRow("stopped while the box is open") << true;
}

void TestMessageBox::stoppedWorkerStopsWaiting()
{
    // The owner of a worker stops and joins it on the user-interface thread, which therefore
    // cannot show the worker's box meanwhile: the worker must stop waiting for it.
    QFETCH(bool, boxOpen);
    std::stop_source stop;
    std::atomic<int> got{-1};
    int shown = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        ++shown;
        if (boxOpen) {
            stop.request_stop();
            QVERIFY(QTest::qWaitFor([&] { return got.load() >= 0; }, 10000));
        }
        box->button(QMessageBox::Ok)->click();
    });
    closer.start(10);
    std::thread worker([&] {
        const platform::StopBinding binding(stop.get_token());
        got = int(platform::MessageBox(QStringLiteral("Error[8005]"), {},
                                       platform::MsgButtons::OkCancel));
    });
    if (boxOpen) {
        QVERIFY(QTest::qWaitFor([&] { return got.load() >= 0; }, 10000));
    } else {
        QTest::qSleep(50); // the worker has asked for its box by now
        stop.request_stop();
    }
    worker.join();
    // A box not yet shown never shows; a box already open no longer answers the worker, which
    // took the answer of a box closed without a choice.
    QTest::qWait(50);
    QCOMPARE(shown, boxOpen ? 1 : 0);
    QCOMPARE(got.load(), int(platform::MsgAnswer::Cancel));
}

QTEST_MAIN(TestMessageBox)
#include "test_messagebox.moc"
