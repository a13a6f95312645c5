#include "UnitView.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tavo::panel {
namespace {

QString Version(const QJsonObject& status, const char* key)
{
    // Content versions are compared and named as six digits, leading zeros included.
    return QStringLiteral("%1").arg(status.value(QLatin1StringView(key)).toInteger(), 6, 10,
                                    QLatin1Char('0'));
}

QString Number(const QJsonObject& status, const char* key)
{
    return QString::number(status.value(QLatin1StringView(key)).toInteger());
}

QString Intact(bool intact)
{
    return intact ? QStringLiteral("intact") : QStringLiteral("damaged");
}

} // namespace

QString DescribeConnection(bool plugged, bool bootMode)
{
    if (plugged)
        return bootMode ? QStringLiteral("Plugged in, boot mode")
                        : QStringLiteral("Plugged in, normal mode");
    return bootMode ? QStringLiteral("Unplugged; boot mode at the next plug-in")
                    : QStringLiteral("Unplugged; normal mode at the next plug-in");
}

UnitView DescribeStatus(const QString& answer)
{
    const QJsonDocument document = QJsonDocument::fromJson(answer.toUtf8());
    const QJsonObject status = document.object();
    if (!document.isObject() || !status.contains(QLatin1StringView("plugged")))
        return DescribeNoUnit(QStringLiteral("not a status: ") + answer.trimmed());

    UnitView view;
    view.reachable = true;
    view.plugged = status.value(QLatin1StringView("plugged")).toBool();
    view.bootButton = status.value(QLatin1StringView("bootButton")).toBool();
    view.connection =
        DescribeConnection(view.plugged, status.value(QLatin1StringView("bootMode")).toBool());
    view.identity = {
        {QStringLiteral("Hardware id"), Number(status, "hwId")},
        {QStringLiteral("Firmware"), Number(status, "fwVersion")},
        {QStringLiteral("Camera database"),
         QStringLiteral("area %1, version %2")
             .arg(Number(status, "dbIndex"), Version(status, "dbVersion"))},
        {QStringLiteral("Voice"),
         QStringLiteral("set %1, version %2")
             .arg(Number(status, "voiceIndex"), Version(status, "voiceVersion"))},
        {QStringLiteral("Screen images"),
         QStringLiteral("set %1, version %2")
             .arg(Number(status, "imageIndex"), Version(status, "imageVersion"))},
    };
    const QJsonObject check = status.value(QLatin1StringView("check")).toObject();
    view.check = {
        {QStringLiteral("Camera database"), Intact(check.value(QLatin1StringView("db")).toBool())},
        {QStringLiteral("Voice"), Intact(check.value(QLatin1StringView("voice")).toBool())},
        {QStringLiteral("Screen images"), Intact(check.value(QLatin1StringView("image")).toBool())},
        {QStringLiteral("Firmware"),
         Intact(status.value(QLatin1StringView("firmwareIntact")).toBool())},
    };
    view.problem = status.value(QLatin1StringView("stateError")).toString();
    return view;
}

UnitView DescribeNoUnit(const QString& error)
{
    UnitView view;
    view.connection = QStringLiteral("No unit");
    view.problem = error;
    return view;
}

QList<FaultButton> FaultButtons()
{
    return {
        {QStringLiteral("Pull the cable after N packets"), QStringLiteral("fault unplug"), true},
        {QStringLiteral("Writes fail after N packets"), QStringLiteral("fault write-fail"), true},
        {QStringLiteral("Next answer without acknowledge"), QStringLiteral("fault nak"), false},
        {QStringLiteral("Next answer one byte short"), QStringLiteral("fault short"), false},
        {QStringLiteral("Next answer never comes"), QStringLiteral("fault stall"), false},
    };
}

QString ClearFaultsCommand()
{
    return QStringLiteral("fault clear");
}

QString FaultCommand(const FaultButton& button, int count)
{
    return button.counted ? button.command + u' ' + QString::number(count) : button.command;
}

} // namespace tavo::panel
