#include "remotepath.h"

namespace RemotePath {

QString join(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QString trimmed(const QString& path)
{
    if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        return path.chopped(1);
    return path.isEmpty() ? QStringLiteral("/") : path;
}

QString parentOf(const QString& path)
{
    const QString clean = trimmed(path);
    const qsizetype slash = clean.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : clean.left(slash);
}

QString nameOf(const QString& path)
{
    const QString clean = trimmed(path);
    return clean.mid(clean.lastIndexOf(QLatin1Char('/')) + 1);
}

bool isSafeName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QChar(u'\0'));
}

} // namespace RemotePath
