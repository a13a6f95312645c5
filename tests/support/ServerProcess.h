#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

namespace testsupport {

// Starts a server program of Debian's /usr/bin/python3 (another python3 on PATH may lack the
// module) with arguments, on a port the system picks, and waits until its output matches
// started, whose first group is the port. The rest of the output is read and dropped. False
// with a reason in error when the server does not come up (it is stopped then).
bool StartServerProcess(QProcess& process, const QStringList& arguments,
                        const QRegularExpression& started, int* port, QString* error);
// Stops the server by its process id: SIGTERM, then SIGKILL if it lingers.
void StopServerProcess(QProcess& process);

// A static file server on 127.0.0.1 for rootDir: Python's http.server.
class HttpServer
{
public:
    explicit HttpServer(QString rootDir) : m_rootDir(std::move(rootDir)) {}
    ~HttpServer() { StopServerProcess(m_process); }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    bool start(QString* error);
    // "127.0.0.1:<port>", as a host name of an address.
    QString host() const;
    qint64 processId() const { return m_process.processId(); }

private:
    QString m_rootDir;
    QProcess m_process;
    int m_port = 0;
};

} // namespace testsupport
