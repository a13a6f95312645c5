#include "TempHome.h"

#include <QDir>
#include <QStandardPaths>

namespace testsupport {

TempHome::TempHome(bool withDocuments)
    : m_previousHome(qgetenv("HOME")), m_hadHome(qEnvironmentVariableIsSet("HOME"))
{
    qputenv("HOME", QFile::encodeName(m_dir.path()));
    QStandardPaths::setTestModeEnabled(true);
    if (withDocuments)
        QDir(m_dir.path()).mkpath(QStringLiteral("Documents"));
}

TempHome::~TempHome()
{
    if (m_hadHome)
        qputenv("HOME", m_previousHome);
    else
        qunsetenv("HOME");
}

QString TempHome::documents() const
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

} // namespace testsupport
