#include "pathcrumbs.h"

#include "common/languagemanager.h"

#include <QDir>
#include <QVariantMap>

namespace {

QVariantList asVariants(const QList<PathCrumbs::Crumb>& crumbs)
{
    QVariantList list;
    for (const PathCrumbs::Crumb& crumb : crumbs)
        list << QVariantMap{{QStringLiteral("id"), crumb.id},
                            {QStringLiteral("title"), crumb.title},
                            {QStringLiteral("path"), crumb.path}};
    return list;
}

} // namespace

QList<PathCrumbs::Crumb> PathCrumbs::localCrumbs(const QString& directory, const QString& home)
{
    if (directory.isEmpty())
        return {};
    // The folder and all its parents, the root first.
    QStringList paths{QStringLiteral("/")};
    QString accumulated = QStringLiteral("/");
    for (const QString& part : QDir::cleanPath(directory).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        accumulated = accumulated == QLatin1String("/") ? accumulated + part : accumulated + QLatin1Char('/') + part;
        paths << accumulated;
    }
    QList<Crumb> crumbs;
    if (paths.size() >= 4)
        crumbs << Crumb{QStringLiteral("__ellipsis__"), QStringLiteral("…"), QString()};
    const QString cleanHome = QDir::cleanPath(home);
    for (qsizetype i = std::max<qsizetype>(0, paths.size() - 3); i < paths.size(); ++i) {
        const QString& path = paths[i];
        const QString name = path.section(QLatin1Char('/'), -1);
        const QString title = path == cleanHome ? localized("主目录") : name.isEmpty() ? path : name;
        crumbs << Crumb{path, title, path};
    }
    return crumbs;
}

QList<PathCrumbs::Crumb> PathCrumbs::remoteCrumbs(const QString& path)
{
    QList<Crumb> crumbs{{QStringLiteral("/"), localized("文件舱"), QStringLiteral("/")}};
    QString accumulated;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        accumulated += QLatin1Char('/') + part;
        crumbs << Crumb{accumulated, part, accumulated};
    }
    return crumbs;
}

QVariantList PathCrumbs::local(const QString& directory) const
{
    return asVariants(localCrumbs(directory, QDir::homePath()));
}

QUrl PathCrumbs::homeFolder() const
{
    return QUrl::fromLocalFile(QDir::homePath());
}

QVariantList PathCrumbs::remote(const QString& path) const
{
    return asVariants(remoteCrumbs(path));
}
