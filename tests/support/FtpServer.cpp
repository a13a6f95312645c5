#include "FtpServer.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr const char* kInterpreter = "/usr/bin/python3";

// A port nobody listens on right now. Another process may take it before the server binds;
// start() then tries again.
quint16 FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool Accepts(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

FtpServer::FtpServer(QString rootDir) : m_rootDir(std::move(rootDir))
{
    // The server logs every command; the tests read none of it.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
}

FtpServer::~FtpServer()
{
    stop();
}

bool FtpServer::start(QString* error)
{
    if (!QFileInfo(QLatin1String(kInterpreter)).isExecutable()) {
        if (error)
            *error = QStringLiteral("%1 is missing").arg(QLatin1String(kInterpreter));
        return false;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (startOnce(error))
            return true;
        stop();
    }
    return false;
}

bool FtpServer::startOnce(QString* error)
{
    m_port = FreePort();
    m_process.start(QLatin1String(kInterpreter),
                    {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-p"),
                     QString::number(m_port), QStringLiteral("-i"), QStringLiteral("127.0.0.1"),
                     QStringLiteral("-d"), m_rootDir});
    if (!m_process.waitForStarted(5000)) {
        if (error)
            *error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running) {
            if (error)
                *error = QStringLiteral("pyftpdlib exited with %1").arg(m_process.exitCode());
            return false;
        }
        if (Accepts(m_port))
            return true;
        QThread::msleep(20);
    }
    if (error)
        *error = QStringLiteral("pyftpdlib did not accept connections on port %1").arg(m_port);
    return false;
}

void FtpServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    const qint64 pid = m_process.processId();
    if (pid > 0)
        ::kill(static_cast<pid_t>(pid), SIGTERM);
    if (!m_process.waitForFinished(5000) && pid > 0) {
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        m_process.waitForFinished(5000);
    }
}

QString FtpServer::url(const QString& path) const
{
    return QStringLiteral("ftp://127.0.0.1:%1%2").arg(m_port).arg(path);
}

} // namespace testsupport
