#include "cabinroot.h"

#include <QDir>
#include <QFileInfo>

namespace phone {

CabinRoot::CabinRoot(const QString& folder)
    : m_root(QFileInfo(folder).canonicalFilePath())
{
}

std::optional<QStringList> CabinRoot::split(const QString& remotePath)
{
    QStringList parts;
    for (const QString& part : remotePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String(".."))
            return std::nullopt;
        parts.append(part);
    }
    return parts;
}

CabinRoot::Resolved CabinRoot::resolve(const QString& remotePath) const
{
    const std::optional<QStringList> parts = split(remotePath);
    if (!parts)
        return {};
    return resolveParts(*parts);
}

CabinRoot::Resolved CabinRoot::resolveSibling(const Resolved& from, const QString& name) const
{
    if (name.startsWith(QLatin1Char('/')))
        return resolve(name);
    const std::optional<QStringList> tail = split(name);
    if (!tail || tail->isEmpty())
        return {};
    QStringList parts = from.parts;
    if (!parts.isEmpty())
        parts.removeLast();
    return resolveParts(parts + *tail);
}

CabinRoot::Resolved CabinRoot::resolveParts(const QStringList& parts) const
{
    Resolved result;
    result.parts = parts;
    result.localPath = parts.isEmpty() ? m_root : m_root + QLatin1Char('/') + parts.join(QLatin1Char('/'));
    result.verdict = contains(result.localPath) ? Verdict::inside : Verdict::outside;
    return result;
}

bool CabinRoot::isWithin(const QString& canonicalPath) const
{
    if (m_root == QLatin1String("/"))
        return canonicalPath.startsWith(QLatin1Char('/'));
    return canonicalPath == m_root || canonicalPath.startsWith(m_root + QLatin1Char('/'));
}

bool CabinRoot::contains(const QString& localPath) const
{
    if (!isValid())
        return false;
    const QString clean = QDir::cleanPath(localPath);
    if (!isWithin(clean))
        return false;
    // Walk down from the root one component at a time. Each step lands on a real entry
    // (checked below), a link (followed and checked), or nothing (and then nothing below it
    // exists either, so nothing further can lead outside).
    const QStringList parts = clean.mid(m_root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = m_root;
    for (const QString& part : parts) {
        const QString next = current + QLatin1Char('/') + part;
        const QFileInfo info(next);
        if (info.isSymLink()) {
            const QString target = info.canonicalFilePath();
            // A dangling link may be made to point anywhere later; it never counts as inside.
            if (target.isEmpty() || !isWithin(target))
                return false;
            current = target;
        } else if (info.exists()) {
            current = next;
        } else {
            return true;
        }
    }
    return true;
}

} // namespace phone
