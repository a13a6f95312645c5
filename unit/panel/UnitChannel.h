#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace tavo::panel {

// The unit's control channel, as `tavo-unit ctl` uses it, without blocking the window: one
// command line at a time goes to the unit on a pool thread, and its answer comes back as a
// signal on the thread that owns the channel. Lines sent while one is on its way wait in
// order.
class UnitChannel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UnitChannel)

public:
    explicit UnitChannel(QString socketPath, QObject* parent = nullptr);

    const QString& socketPath() const { return m_socketPath; }
    // Queues one control line ("status", "plug", "fault nak", ...).
    void send(const QString& commandLine);
    // True while a line is on its way or waiting.
    bool busy() const { return m_inFlight || !m_waiting.isEmpty(); }

signals:
    // The unit's answer text to commandLine; reached is false when no unit answered, and
    // answer then says why.
    void answered(const QString& commandLine, bool reached, const QString& answer);

private:
    void sendNext();

    QString m_socketPath;
    QStringList m_waiting;
    bool m_inFlight = false;
};

} // namespace tavo::panel
