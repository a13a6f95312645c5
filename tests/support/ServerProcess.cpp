#include "ServerProcess.h"

#include <QDeadlineTimer>
#include <csignal>

namespace testsupport {

bool StartServerProcess(QProcess& process, const QStringList& arguments,
                        const QRegularExpression& started, int* port, QString* error)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("/usr/bin/python3"), arguments);
    QByteArray log;
    const QDeadlineTimer deadline(10000);
    while (process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        log += process.readAll();
        const QRegularExpressionMatch match = started.match(QString::fromUtf8(log));
        if (match.hasMatch()) {
            *port = match.captured(1).toInt();
            // Servers log every request; nobody reads it.
            QObject::connect(&process, &QProcess::readyRead, &process,
                             [&process] { process.readAll(); });
            return true;
        }
    }
    *error =
        QStringLiteral("%1 did not start: %2 %3")
            .arg(arguments.join(QLatin1Char(' ')), process.errorString(), QString::fromUtf8(log));
    StopServerProcess(process);
    return false;
}

void StopServerProcess(QProcess& process)
{
    const qint64 pid = process.processId();
    if (process.state() == QProcess::NotRunning || pid <= 0)
        return;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    if (!process.waitForFinished(5000)) {
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        process.waitForFinished(5000);
    }
}

bool HttpServer::start(QString* error)
{
    // Unbuffered (-u): the line naming the port must come out while the server runs.
    static const QRegularExpression started(
        QStringLiteral("Serving HTTP on 127\\.0\\.0\\.1 port (\\d+)"));
    return StartServerProcess(m_process,
                              {QStringLiteral("-u"), QStringLiteral("-m"),
                               QStringLiteral("http.server"), QStringLiteral("--bind"),
                               QStringLiteral("127.0.0.1"), QStringLiteral("--directory"),
                               m_rootDir, QStringLiteral("0")},
                              started, &m_port, error);
}

QString HttpServer::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

} // namespace testsupport
