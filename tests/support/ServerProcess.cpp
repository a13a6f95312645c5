#include "ServerProcess.h"

#include <QDeadlineTimer>
#include <csignal>

namespace testsupport {

bool ServerProcess::start(QString* error)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("/usr/bin/python3"), m_arguments);
    QByteArray log;
    const QDeadlineTimer deadline(10000);
    while (m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        log += m_process.readAll();
        const QRegularExpressionMatch match = m_started.match(QString::fromUtf8(log));
        if (match.hasMatch()) {
            m_port = match.captured(1).toInt();
            // Servers log every request; nobody reads it.
            QObject::connect(&m_process, &QProcess::readyRead, &m_process,
                             [this] { m_process.readAll(); });
            return true;
        }
    }
    *error = QStringLiteral("%1 did not start: %2 %3")
                 .arg(m_arguments.join(u' '), m_process.errorString(), QString::fromUtf8(log));
    stop();
    return false;
}

void ServerProcess::stop()
{
    const qint64 pid = m_process.processId();
    if (m_process.state() == QProcess::NotRunning || pid <= 0)
        return;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    if (!m_process.waitForFinished(5000)) {
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        m_process.waitForFinished(5000);
    }
}

// Unbuffered (-u): the line naming the port must come out while the server runs.
HttpServer::HttpServer(const QString& rootDir)
    : ServerProcess(
          QStringLiteral("-u -m http.server --bind 127.0.0.1 0 --directory").split(u' ') << rootDir,
          QRegularExpression(QStringLiteral("Serving HTTP on 127\\.0\\.0\\.1 port (\\d+)")))
{
}

// The start-up line is written once the socket listens, so no connection comes too early.
FtpServer::FtpServer(const QString& rootDir)
    : ServerProcess(
          QStringLiteral("-m pyftpdlib -p 0 -i 127.0.0.1 -d").split(u' ') << rootDir,
          QRegularExpression(QStringLiteral("starting FTP server on 127\\.0\\.0\\.1:(\\d+)")))
{
}

} // namespace testsupport
