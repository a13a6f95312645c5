#pragma once

#include <QProcess>
#include <QString>

namespace testsupport {

// A real FTP server on 127.0.0.1 serving rootDir read-only to anonymous users: Debian's
// pyftpdlib run by /usr/bin/python3 (another python3 on PATH may not have the module). It
// listens on a port the system picks and is stopped by its process id.
class FtpServer
{
public:
    explicit FtpServer(QString rootDir) : m_rootDir(std::move(rootDir)) {}
    ~FtpServer() { stop(); }
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    // Starts the server and waits until it listens. False with a reason in error when the
    // interpreter or the module is missing or the server does not come up.
    bool start(QString* error);
    // Stops the server (SIGTERM to its process id, SIGKILL if it lingers).
    void stop();

    // "ftp://127.0.0.1:<port>" followed by path (which starts with '/').
    QString url(const QString& path = {}) const;

private:
    QString m_rootDir;
    QProcess m_process;
    int m_port = 0;
};

} // namespace testsupport
