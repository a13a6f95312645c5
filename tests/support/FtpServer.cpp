#include "FtpServer.h"

#include "ServerProcess.h"

#include <QRegularExpression>

namespace testsupport {

bool FtpServer::start(QString* error)
{
    // Port 0: the system picks a free port, and the server's start-up line names it. The
    // line is written once the socket listens, so no connection attempt can come too early.
    static const QRegularExpression started(
        QStringLiteral("starting FTP server on 127\\.0\\.0\\.1:(\\d+)"));
    return StartServerProcess(m_process,
                              {QStringLiteral("-m"), QStringLiteral("pyftpdlib"),
                               QStringLiteral("-p"), QStringLiteral("0"), QStringLiteral("-i"),
                               QStringLiteral("127.0.0.1"), QStringLiteral("-d"), m_rootDir},
                              started, &m_port, error);
}

void FtpServer::stop()
{
    StopServerProcess(m_process);
}

QString FtpServer::url(const QString& path) const
{
    return QStringLiteral("ftp://127.0.0.1:%1%2").arg(m_port).arg(path);
}

} // namespace testsupport
