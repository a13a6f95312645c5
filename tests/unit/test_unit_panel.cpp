// The virtual unit panel's reading of a unit: what it shows for a real unit's status answer,
// and that every fault button's control line is one the unit takes.
#include "UnitFixture.h"
#include "UnitView.h"

#include <QtTest>

using namespace tavo::panel;
using namespace Qt::StringLiterals;

class TestUnitPanel : public QObject
{
    Q_OBJECT

private slots:
    void viewOfStatus_data()
    {
        QTest::addColumn<QString>("command"); // a control line, or "damage" to spoil the database
        QTest::addColumn<QString>("view");
        const QString fresh = u"Hardware id: 1; Firmware: 8011; Camera database: area 0, version "
                              "081021; Voice: set 0, version 081001; Screen images: set 0, "
                              "version 081001 | Camera database: intact; Voice: intact; Screen "
                              "images: intact; Firmware: intact"_s;
        QTest::newRow("plugged, normal") << u"plug"_s << u"Plugged in, normal mode, "_s + fresh;
        QTest::newRow("POI held while unplugged")
            << u"boot on,unplug"_s
            << u"Unplugged; boot mode at the next plug-in, POI held, "_s + fresh;
        // A database area whose header no longer reads: its version is that of zero bytes.
        QTest::newRow("damaged database")
            << u"damage"_s
            << u"Plugged in, normal mode, "_s +
                   QString(fresh)
                       .replace(u"version 081021"_s, u"version -2080000"_s)
                       .replace(u"database: intact"_s, u"database: damaged"_s);
    }

    void viewOfStatus()
    {
        QFETCH(QString, command);
        testsupport::UnitFixture unit;
        if (command == u"damage"_s)
            unit->writeMemory(0x140000, std::vector<std::uint8_t>(64, 0xFF));
        else
            for (const QString& line : command.split(u','))
                QCOMPARE(unit->control(line.toStdString()), "ok\n");
        const UnitView view = DescribeStatus(QString::fromStdString(unit->control("status")));
        QStringList rows[2];
        for (int i = 0; i < 2; ++i)
            for (const Row& row : i == 0 ? view.identity : view.check)
                rows[i] << row.first + u": "_s + row.second;
        QVERIFY(view.reachable && view.problem.isEmpty());
        QTEST(view.connection + (view.bootButton ? u", POI held, "_s : u", "_s) +
                  rows[0].join(u"; "_s) + u" | "_s + rows[1].join(u"; "_s),
              "view");
    }

    // An answer that is not a status (a refusal, a cut-off line) shows no unit, not zeros.
    void notAStatus()
    {
        const UnitView view = DescribeStatus(u"{\"plugg"_s);
        QVERIFY(!view.reachable && view.identity.isEmpty() && !view.problem.isEmpty());
    }

    void everyFaultButtonIsTaken()
    {
        testsupport::UnitFixture unit;
        QStringList lines{ClearFaultsCommand()};
        for (const FaultButton& button : FaultButtons())
            lines << FaultCommand(button, 0) << FaultCommand(button, 5);
        for (const QString& line : lines)
            QCOMPARE(QString::fromStdString(unit->control(line.toStdString())) + line,
                     u"ok\n"_s + line);
    }
};

QTEST_GUILESS_MAIN(TestUnitPanel)
#include "test_unit_panel.moc"
