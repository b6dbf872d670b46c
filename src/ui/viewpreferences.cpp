#include "viewpreferences.h"

#include <QSettings>

namespace {

QString known(const QString& mode)
{
    return mode == QLatin1String("grid") ? mode : QStringLiteral("list");
}

} // namespace

ViewPreferences::ViewPreferences(QObject* parent)
    : QObject(parent), m_fileViewMode(known(QSettings().value(QLatin1String(fileViewModeKey)).toString()))
{
}

void ViewPreferences::setFileViewMode(const QString& mode)
{
    const QString chosen = known(mode);
    if (chosen == m_fileViewMode)
        return;
    m_fileViewMode = chosen;
    QSettings().setValue(QLatin1String(fileViewModeKey), chosen);
    emit fileViewModeChanged();
}
