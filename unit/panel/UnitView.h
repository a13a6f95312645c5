#pragma once

#include <QList>
#include <QString>
#include <utility>

namespace tavo::panel {

// One line of the panel: a caption and its value.
using Row = std::pair<QString, QString>;

// What the panel shows of a unit, decided from one `status` answer. No widgets here, so it
// can be tested without a display.
struct UnitView
{
    bool reachable = false;  // a unit answered with a status
    bool plugged = false;    // the plug-in and unplug buttons follow it
    bool bootButton = false; // the POI button is held
    QString connection;      // the cable and the mode, in one line
    QList<Row> identity;     // hardware id and the versions the unit reports
    QList<Row> check;        // each area: "intact" or "damaged"
    QString problem;         // why nothing is shown, or the unit's state-folder error
};

// The cable and the mode in one line: "Plugged in, normal mode", "Unplugged; boot mode at
// the next plug-in", ...
QString DescribeConnection(bool plugged, bool bootMode);

// The view of a `status` answer (one JSON object). An answer that is not one reads as no
// unit, with the answer as the problem.
UnitView DescribeStatus(const QString& answer);

// The view when no unit answered at socketPath; error says why.
UnitView DescribeNoUnit(const QString& error);

// A fault the unit can inject, as a button of the panel.
struct FaultButton
{
    QString label;
    QString command; // the control line, "fault nak"
    bool counted;    // takes the panel's packet count as its N
};

// Every fault `ctl fault` knows, and the line that clears them.
QList<FaultButton> FaultButtons();
QString ClearFaultsCommand();

// The control line of a fault button; a counted fault with count 0 sets in at once.
QString FaultCommand(const FaultButton& button, int count);

} // namespace tavo::panel
