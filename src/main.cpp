#include "app/TavoApp.h"
#include "ui/CExplorer_con.h"
#include "ui/MainSheet.h"
#include "ui/WebEngine.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Before the application object exists, or the web engine will not start.
    PrepareWebEngine();
    QApplication application(argc, argv);
    // The Connection page's web view is the web engine's, loaded when the view makes it.
    CExplorer_con::RegisterControl(LoadWebEngineControl);
    StartupOptions options;
    options.runSheet = RunMainSheet;
    // The start-up runs the sheet to its end and always reports "do not run": there is no
    // message loop after it.
    theApp().InitInstance(options);
    return 0;
}
