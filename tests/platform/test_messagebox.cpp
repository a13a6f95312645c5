// The real message-box service: a worker's box is shown on the user-interface thread while the
// worker waits for the answer.
#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
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
    // The owner is a widget of the user-interface thread, which a worker must never touch.
    QWidget owner;
    std::atomic<int> got{-1};
    std::thread worker([&] {
        got = int(platform::MessageBox(QStringLiteral("Error[9002]"), QStringLiteral("Tavo"),
                                       buttons, &owner));
    });
    QMessageBox* box = nullptr;
    QTRY_VERIFY((box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())));
    QCOMPARE(box->thread(), QThread::currentThread());
    QCOMPARE(box->text(), QStringLiteral("Error[9002]"));
    QCOMPARE(box->windowTitle(), QStringLiteral("Tavo"));
    QCOMPARE(got.load(), -1); // the worker waits for the answer
    QVERIFY(box->button(pressed));
    box->button(pressed)->click();
    QTRY_COMPARE(got.load(), int(answer));
    worker.join();
}

QTEST_MAIN(TestMessageBox)
#include "test_messagebox.moc"
