#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantList>

// The crumbs over each pane: where its folder lies, one step per crumb. The views get them as
// lists of {id, title, path} (path empty for the ellipsis, which goes nowhere).
class PathCrumbs : public QObject
{
    Q_OBJECT

public:
    struct Crumb
    {
        QString id;
        QString title;
        QString path;
        friend bool operator==(const Crumb&, const Crumb&) = default;
    };

    using QObject::QObject;

    // The computer folder and up to two of its parents, the home folder called "主目录"; an
    // ellipsis first when more lie above.
    static QList<Crumb> localCrumbs(const QString& directory, const QString& home);
    // The cabin's root, then every level of `path`.
    static QList<Crumb> remoteCrumbs(const QString& path);

    Q_INVOKABLE QVariantList local(const QString& directory) const;
    Q_INVOKABLE QVariantList remote(const QString& path) const;
    // The user's home folder as a URL: where choosing a folder starts when none is shown.
    Q_INVOKABLE QUrl homeFolder() const;
};
