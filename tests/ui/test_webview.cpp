// The Connection page's web view with the program's own browser control, the web engine: the
// shipped product page loaded from a local HTTP server, headless.
#include "ServerProcess.h"
#include "ui/CExplorer_con.h"
#include "ui/CPage_Connect.h"
#include "ui/WebEngine.h"

#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

class TestWebView final : public QObject
{
    Q_OBJECT

private slots:
    void chromiumFlags()
    {
        // The user's flags come last, so that theirs win; no zygote-less start with a sandbox.
        QCOMPARE(WebEngineChromiumFlags(" --lang=fr ", true), QByteArray("--no-zygote --lang=fr"));
        QCOMPARE(WebEngineChromiumFlags("--lang=fr", false), QByteArray("--lang=fr"));
    }

    void loadsTheProductPage()
    {
        testsupport::HttpServer server(QStringLiteral(TAVO_RES_DIR "/web"));
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        CExplorer_con::RegisterControl(LoadWebEngineControl);
        CExplorer_con view;
        CExplorer_con::RegisterControl(nullptr);
        view.resize(400, 300);
        view.show();
        // Asked for before the control exists: loaded once it does.
        view.Navigate2(CPage_Connect::ProductPageAddress(server.host(), 1));
        QTRY_VERIFY(view.Control());
        // The engine's view, through its meta-object: the engine is the loaded module's.
        auto* engine = view.Control()->findChild<QWidget*>();
        QSignalSpy loaded(engine, SIGNAL(loadFinished(bool)));
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 15000);
        QCOMPARE(loaded.first().first().toBool(), true);
        QCOMPARE(engine->property("title").toString(), QStringLiteral("Tavo - Tolvane_Down"));
    }
};

int main(int argc, char* argv[])
{
    // As the program does, before the application object exists.
    PrepareWebEngine();
    QApplication application(argc, argv);
    TestWebView test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_webview.moc"
