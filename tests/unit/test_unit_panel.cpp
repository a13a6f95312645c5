// The virtual unit panel's reading of a unit: what it shows for a real unit's status answer,
// and that every fault button's control line is one the unit takes.
#include "UnitFixture.h"
#include "UnitView.h"

#include <QtTest>

using namespace tavo::panel;

namespace {

QString Join(const QList<Row>& rows)
{
    QStringList lines;
    for (const Row& row : rows)
        lines << row.first + QStringLiteral(": ") + row.second;
    return lines.join(QStringLiteral("; "));
}

} // namespace

class TestUnitPanel : public QObject
{
    Q_OBJECT

private slots:
    void viewOfStatus_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<bool>("damageDatabase");
        QTest::addColumn<QString>("connection");
        QTest::addColumn<bool>("poiHeld");
        QTest::addColumn<QString>("identity");
        QTest::addColumn<QString>("check");

        const QString fresh = QStringLiteral(
            "Hardware id: 1; Firmware: 8011; Camera database: area 0, version 081021; "
            "Voice: set 0, version 081001; Screen images: set 0, version 081001");
        const QString intact = QStringLiteral("Camera database: intact; Voice: intact; "
                                              "Screen images: intact; Firmware: intact");
        QTest::newRow("plugged, normal")
            << QStringList{} << false << QStringLiteral("Plugged in, normal mode") << false << fresh
            << intact;
        QTest::newRow("POI held while unplugged")
            << QStringList{QStringLiteral("boot on"), QStringLiteral("unplug")} << false
            << QStringLiteral("Unplugged; boot mode at the next plug-in") << true << fresh
            << intact;
        // A database area whose header no longer reads: its version is that of zero bytes.
        QTest::newRow("damaged database")
            << QStringList{} << true << QStringLiteral("Plugged in, normal mode") << false
            << QString(fresh).replace(QStringLiteral("version 081021"),
                                      QStringLiteral("version -2080000"))
            << QString(intact).replace(QStringLiteral("database: intact"),
                                       QStringLiteral("database: damaged"));
    }

    void viewOfStatus()
    {
        QFETCH(QStringList, commands);
        QFETCH(bool, damageDatabase);
        testsupport::UnitFixture unit;
        for (const QString& command : commands)
            QCOMPARE(unit->control(command.toStdString()), std::string("ok\n"));
        if (damageDatabase)
            unit->writeMemory(0x140000, std::vector<std::uint8_t>(64, 0xFF));

        const UnitView view = DescribeStatus(QString::fromStdString(unit->control("status")));
        QVERIFY(view.reachable);
        QTEST(view.connection, "connection");
        QTEST(view.bootButton, "poiHeld");
        QTEST(Join(view.identity), "identity");
        QTEST(Join(view.check), "check");
        QCOMPARE(view.problem, QString());
    }

    // An answer that is not a status (a refusal, a cut-off line) shows no unit, not zeros.
    void notAStatus()
    {
        const UnitView view = DescribeStatus(QStringLiteral("{\"plugg"));
        QVERIFY(!view.reachable);
        QVERIFY(view.identity.isEmpty());
        QVERIFY(!view.problem.isEmpty());
    }

    void everyFaultButtonIsTaken()
    {
        testsupport::UnitFixture unit;
        QStringList lines{ClearFaultsCommand()};
        for (const FaultButton& button : FaultButtons())
            lines << FaultCommand(button, 0) << FaultCommand(button, 5);
        for (const QString& line : lines)
            QCOMPARE(QString::fromStdString(unit->control(line.toStdString())) + u'\t' + line,
                     QStringLiteral("ok\n\t") + line);
    }
};

QTEST_GUILESS_MAIN(TestUnitPanel)
#include "test_unit_panel.moc"
