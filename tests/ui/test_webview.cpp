// The Connection page's web view with the program's own browser control, the web engine: a
// real page loaded from a local HTTP server, headless.
#include "ServerProcess.h"
#include "ui/CExplorer_con.h"
#include "ui/WebEngineControl.h"

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestWebView final : public QObject
{
    Q_OBJECT

private slots:
    void loadsAPage()
    {
        QTemporaryDir site;
        QFile page(site.filePath(u"index.html"_s));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><head><title>Tavo product page</title></head><body>Tavo</body></html>");
        page.close();
        testsupport::HttpServer server(site.path());
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));

        CExplorer_con::RegisterControl(CreateWebEngineControl);
        CExplorer_con view;
        CExplorer_con::RegisterControl(nullptr);
        view.resize(400, 300);
        view.show();
        // Asked for before the control exists: loaded once it does.
        view.Navigate2(u"http://%1/index.html"_s.arg(server.host()));
        QTRY_VERIFY(view.Control());
        QWebEngineView* engine = static_cast<WebEngineControl*>(view.Control())->View();
        QSignalSpy loaded(engine, &QWebEngineView::loadFinished);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 15000);
        QCOMPARE(loaded.first().first().toBool(), true);
        QCOMPARE(engine->title(), u"Tavo product page"_s);
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
