#pragma once

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace testsupport {

// Points HOME at a fresh temporary folder holding a "Documents" folder while it lives, so
// that the documents folder and the test-mode profile are never the user's own (Qt's test
// mode alone does not move the documents folder). Create it before anything reads a path.
class TempHome
{
public:
    TempHome() : m_previousHome(qgetenv("HOME"))
    {
        qputenv("HOME", QFile::encodeName(m_dir.path()));
        QStandardPaths::setTestModeEnabled(true);
        QDir(m_dir.path()).mkpath(QStringLiteral("Documents"));
    }
    ~TempHome() { qputenv("HOME", m_previousHome); }

    // The documents folder the program sees.
    static QString documents()
    {
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_previousHome;
};

} // namespace testsupport
