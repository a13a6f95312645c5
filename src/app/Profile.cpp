#include "app/Profile.h"

#include <QSettings>
#include <memory>

namespace {

std::unique_ptr<QSettings> Open(const QString& company, const QString& application)
{
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, company,
                                                application);
    // The profile is this file alone: a value in a company-wide or system-wide file (a stray
    // "Firstusage" would skip the first start) is not the program's.
    settings->setFallbacksEnabled(false);
    return settings;
}

QString Key(const QString& section, const QString& entry)
{
    return section + QLatin1Char('/') + entry;
}

} // namespace

void Profile::SetLocation(const QString& company, const QString& application)
{
    m_company = company;
    m_application = application;
}

int Profile::GetInt(const QString& section, const QString& entry, int defaultValue) const
{
    if (!HasLocation())
        return defaultValue;
    const QVariant value = Open(m_company, m_application)->value(Key(section, entry));
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : defaultValue;
}

bool Profile::WriteInt(const QString& section, const QString& entry, int value) const
{
    return Write(section, entry, value);
}

QString Profile::GetString(const QString& section, const QString& entry,
                           const QString& defaultValue) const
{
    if (!HasLocation())
        return defaultValue;
    const QVariant value = Open(m_company, m_application)->value(Key(section, entry));
    return value.isValid() ? value.toString() : defaultValue;
}

bool Profile::WriteString(const QString& section, const QString& entry, const QString& value) const
{
    return Write(section, entry, value);
}

bool Profile::Write(const QString& section, const QString& entry, const QVariant& value) const
{
    if (!HasLocation())
        return false;
    const auto settings = Open(m_company, m_application);
    settings->setValue(Key(section, entry), value);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

QString Profile::FilePath() const
{
    return HasLocation() ? Open(m_company, m_application)->fileName() : QString();
}
