#include "privacypolicy.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

QUrl PrivacyPolicy::pageUrl()
{
    QFile page(QStringLiteral(":/Zorvane/privacy.html"));
    if (!page.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = page.readAll();
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return {};
    const QString path = folder + QStringLiteral("/privacy.html");
    QFile copy(path);
    // Written again only when this version's page differs from the one there.
    if (!copy.open(QIODevice::ReadOnly) || copy.readAll() != text) {
        copy.close();
        if (!copy.open(QIODevice::WriteOnly | QIODevice::Truncate) || copy.write(text) != text.size())
            return {};
    }
    return QUrl::fromLocalFile(path);
}

bool PrivacyPolicy::open() const
{
    const QUrl url = pageUrl();
    return url.isValid() && !url.isEmpty() && QDesktopServices::openUrl(url);
}
