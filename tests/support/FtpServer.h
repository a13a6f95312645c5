#pragma once

#include <QProcess>
#include <QString>

namespace testsupport {

// A real FTP server on 127.0.0.1 serving rootDir read-only to anonymous users: Debian's
// pyftpdlib run by the system interpreter (/usr/bin/python3; another python3 on PATH may not
// have the module). It listens on a free port and is stopped by its process id.
class FtpServer
{
public:
    explicit FtpServer(QString rootDir);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    // Starts the server and waits until it accepts connections. False with a reason in error
    // when the interpreter or the module is missing or the server does not come up.
    bool start(QString* error = nullptr);
    // Stops the server (SIGTERM to its process id, SIGKILL if it lingers).
    void stop();

    quint16 port() const { return m_port; }
    // "ftp://127.0.0.1:<port>" followed by path (which starts with '/').
    QString url(const QString& path = {}) const;
    QString rootDir() const { return m_rootDir; }

private:
    bool startOnce(QString* error);

    QString m_rootDir;
    QProcess m_process;
    quint16 m_port = 0;
};

} // namespace testsupport
