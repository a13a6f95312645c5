#pragma once

#include <QString>
#include <QVariant>

// The user's profile: integer and string values by section and entry, kept where the
// registry path "Software\<company>\<application>\<section>" leads. On Linux that is the
// user-scope INI file QSettings(IniFormat, UserScope, company, application), normally
// ~/.config/<company>/<application>.ini with one group per section. Only that file is read:
// no company-wide or system-wide file stands in for a missing value.
//
// Every call opens the file anew; nothing is cached between calls. Until a company is set
// there is no profile: reads give the default and writes fail.
class Profile
{
public:
    Profile() = default;

    // Selects the profile of application under the company key.
    void SetLocation(const QString& company, const QString& application);
    bool HasLocation() const { return !m_company.isEmpty(); }

    // The value of entry in section, or defaultValue when it is missing or not a number.
    int GetInt(const QString& section, const QString& entry, int defaultValue) const;
    // Stores value; false when the profile cannot be written.
    bool WriteInt(const QString& section, const QString& entry, int value) const;
    // The text of entry in section, or defaultValue when it is missing.
    QString GetString(const QString& section, const QString& entry,
                      const QString& defaultValue) const;
    bool WriteString(const QString& section, const QString& entry, const QString& value) const;

    // Path of the file that holds the profile; empty until a company is set.
    QString FilePath() const;

private:
    bool Write(const QString& section, const QString& entry, const QVariant& value) const;

    QString m_company;
    QString m_application;
};
