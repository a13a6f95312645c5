// tavo-unit-panel: a window that drives a running virtual unit through its control channel.
// Started by `tavo-unit panel [--socket PATH]`, or directly with the same options.
#include "PanelWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <tavo/UnitControl.h>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavo-unit-panel"));
    QApplication::setDesktopFileName(QStringLiteral(TAVO_PANEL_DESKTOP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(TAVO_PANEL_DESKTOP_ID)));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Drives a running virtual Tavo unit."));
    parser.addHelpOption();
    const QCommandLineOption socket(
        QStringLiteral("socket"),
        QStringLiteral("The unit's socket (default: where the USB library looks)."),
        QStringLiteral("PATH"), QString::fromStdString(tavo::DefaultUnitSocketPath()));
    parser.addOption(socket);
    parser.process(application);

    tavo::panel::PanelWindow window(parser.value(socket));
    window.show();
    return QApplication::exec();
}
