// The Connection page's web view with the program's own browser control, the web engine: the
// shipped product page loaded from a local HTTP server, headless.
#include "ServerProcess.h"
#include "ui/CExplorer_con.h"
#include "ui/CPage_Connect.h"
#include "ui/WebEngineControl.h"

#include <QApplication>
#include <QSignalSpy>
#include <QWebEngineView>
#include <QtTest>

class TestWebView final : public QObject
{
    Q_OBJECT

private slots:
    void loadsTheProductPage()
    {
        testsupport::HttpServer server(QStringLiteral(TAVO_RES_DIR "/web"));
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        CExplorer_con::RegisterControl(CreateWebEngineControl);
        CExplorer_con view;
        CExplorer_con::RegisterControl(nullptr);
        view.resize(400, 300);
        view.show();
        // Asked for before the control exists: loaded once it does.
        view.Navigate2(CPage_Connect::ProductPageAddress(server.host(), 1));
        QTRY_VERIFY(view.Control());
        QWebEngineView* engine = static_cast<WebEngineControl*>(view.Control())->View();
        QSignalSpy loaded(engine, &QWebEngineView::loadFinished);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 15000);
        QCOMPARE(loaded.first().first().toBool(), true);
        QCOMPARE(engine->title(), QStringLiteral("Tavo - Tolvane_Down"));
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
