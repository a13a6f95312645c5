#include "app/TavoApp.h"
#include "ui/MainSheet.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    StartupOptions options;
    options.runSheet = RunMainSheet;
    // The start-up runs the sheet to its end and always reports "do not run": there is no
    // message loop after it.
    theApp().InitInstance(options);
    return 0;
}
