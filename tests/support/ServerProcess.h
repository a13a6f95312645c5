#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

namespace testsupport {

// A server of Debian's /usr/bin/python3 (another python3 on PATH may lack its module) on
// 127.0.0.1, at a port the system picks and the server's start-up line names. It is stopped
// by its process id: SIGTERM, then SIGKILL if it lingers.
class ServerProcess
{
public:
    ~ServerProcess() { stop(); }

    // Starts the server and waits until it listens. False with a reason in error when it does
    // not come up (it is stopped then).
    bool start(QString* error);
    void stop();
    // "127.0.0.1:<port>", as a host name of an address.
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

protected:
    ServerProcess(QStringList arguments, QRegularExpression started)
        : m_arguments(std::move(arguments)), m_started(std::move(started))
    {
    }

private:
    QStringList m_arguments;
    QRegularExpression m_started; // its first group is the port
    QProcess m_process;
    int m_port = 0;
};

// A static file server for rootDir: Python's http.server.
class HttpServer : public ServerProcess
{
public:
    explicit HttpServer(const QString& rootDir);
};

// A real FTP server serving rootDir read-only to anonymous users: pyftpdlib.
class FtpServer : public ServerProcess
{
public:
    explicit FtpServer(const QString& rootDir);
    // "ftp://127.0.0.1:<port>" followed by path (which starts with '/').
    QString url(const QString& path = {}) const { return QStringLiteral("ftp://") + host() + path; }
};

} // namespace testsupport
