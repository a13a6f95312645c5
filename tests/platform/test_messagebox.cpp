// The real message-box service: a worker's box is shown on the user-interface thread while the
// worker waits for the answer.
#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <atomic>
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

    QThread* boxThread = nullptr;
    QString text;
    QString caption;
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->button(pressed))
            return;
        boxThread = box->thread();
        text = box->text();
        caption = box->windowTitle();
        box->button(pressed)->click();
    });
    closer.start();

    // The owner is a widget of the user-interface thread, which a worker must never touch.
    QWidget owner;
    std::atomic<bool> answered{false};
    platform::MsgAnswer got = platform::MsgAnswer::Ok;
    std::thread worker([&] {
        got = platform::MessageBox(QStringLiteral("Error[9002]"), QStringLiteral("Tavo"), buttons,
                                   &owner);
        answered = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(answered.load(), 10000);
    worker.join();
    QCOMPARE(boxThread, QThread::currentThread());
    QCOMPARE(text, QStringLiteral("Error[9002]"));
    QCOMPARE(caption, QStringLiteral("Tavo"));
    QCOMPARE(static_cast<int>(got), static_cast<int>(answer));
}

QTEST_MAIN(TestMessageBox)
#include "test_messagebox.moc"
