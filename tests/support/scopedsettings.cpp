#include "scopedsettings.h"

#include <QCoreApplication>
#include <QSettings>

ScopedSettings::ScopedSettings()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Zorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Zorvane"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
}

ScopedSettings::~ScopedSettings()
{
    QSettings().clear();
}
