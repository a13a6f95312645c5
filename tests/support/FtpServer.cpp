#include "FtpServer.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <csignal>

namespace testsupport {

bool FtpServer::start(QString* error)
{
    // Port 0: the system picks a free port, and the server's start-up line names it. The
    // line is written once the socket listens, so no connection attempt can come too early.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setReadChannel(QProcess::StandardError);
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-p"),
                     QStringLiteral("0"), QStringLiteral("-i"), QStringLiteral("127.0.0.1"),
                     QStringLiteral("-d"), m_rootDir});
    static const QRegularExpression started(
        QStringLiteral("starting FTP server on 127\\.0\\.0\\.1:(\\d+)"));
    QByteArray log;
    const QDeadlineTimer deadline(10000);
    while (m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        log += m_process.readAll();
        const QRegularExpressionMatch match = started.match(QString::fromUtf8(log));
        if (match.hasMatch()) {
            m_port = match.captured(1).toInt();
            // The server logs every command; nobody reads it.
            QObject::connect(&m_process, &QProcess::readyRead, &m_process,
                             [this] { m_process.readAll(); });
            return true;
        }
    }
    *error = QStringLiteral("pyftpdlib did not start: %1 %2")
                 .arg(m_process.errorString(), QString::fromUtf8(log));
    stop();
    return false;
}

void FtpServer::stop()
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

QString FtpServer::url(const QString& path) const
{
    return QStringLiteral("ftp://127.0.0.1:%1%2").arg(m_port).arg(path);
}

} // namespace testsupport
