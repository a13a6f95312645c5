#pragma once

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace testsupport {

// The folders a start-up of the program needs in a test: a temporary profile folder for the
// user-scope INI files of QSettings, and a working directory with the shipped UI text file.
class ShellDirs
{
public:
    explicit ShellDirs(const QString& shippedUiText)
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, profile.path());
        m_copied = QFile::copy(shippedUiText, UiTextFile());
    }

    // False when the UI text file could not be copied.
    bool Ready() const { return m_copied; }
    QString UiTextFile() const { return work.filePath(QStringLiteral("Tavo_UIText.txt")); }

    QTemporaryDir profile;
    QTemporaryDir work;

private:
    bool m_copied = false;
};

} // namespace testsupport
