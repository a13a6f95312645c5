#include "UnitChannel.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <tavo/UnitControl.h>

namespace tavo::panel {
namespace {

struct Reply
{
    bool reached = false;
    QString text;
};

Reply Exchange(const std::string& socketPath, const std::string& commandLine)
{
    std::string answer, error;
    if (!SendControlLine(socketPath, commandLine, answer, &error))
        return {false, QString::fromStdString(error)};
    return {true, QString::fromStdString(answer).trimmed()};
}

} // namespace

UnitChannel::UnitChannel(QString socketPath, QObject* parent)
    : QObject(parent), m_socketPath(std::move(socketPath))
{
}

void UnitChannel::send(const QString& commandLine)
{
    m_waiting.append(commandLine);
    if (!m_inFlight)
        sendNext();
}

void UnitChannel::sendNext()
{
    if (m_waiting.isEmpty())
        return;
    m_inFlight = true;
    const QString line = m_waiting.takeFirst();
    // The watcher belongs to the channel: when the window goes first, the exchange still
    // ends on its pool thread (a unit answers or times out), and its answer goes nowhere.
    auto* watcher = new QFutureWatcher<Reply>(this);
    connect(watcher, &QFutureWatcher<Reply>::finished, this, [this, watcher, line] {
        const Reply reply = watcher->result();
        watcher->deleteLater();
        m_inFlight = false;
        emit answered(line, reply.reached, reply.text);
        sendNext();
    });
    watcher->setFuture(QtConcurrent::run(Exchange, m_socketPath.toStdString(), line.toStdString()));
}

} // namespace tavo::panel
