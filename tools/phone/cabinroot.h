#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace phone {

// The served folder, and the only way from a client's remote path to a local one.
// A remote path never leaves the folder: ".." is refused outright, and a symbolic link met
// on the way must lead to a place inside the folder too.
class CabinRoot
{
public:
    enum class Verdict { inside, malformed, outside };

    struct Resolved
    {
        Verdict verdict = Verdict::malformed;
        QString localPath;     // the entry itself (a link stays a link), when inside
        QStringList parts;     // clean components below the root; empty for the root
        bool isRoot() const { return parts.isEmpty(); }
    };

    explicit CabinRoot(const QString& folder);

    QString path() const { return m_root; }
    bool isValid() const { return !m_root.isEmpty(); }

    Resolved resolve(const QString& remotePath) const;
    // `name`, if it has no leading "/", is taken relative to the folder holding `from`.
    Resolved resolveSibling(const Resolved& from, const QString& name) const;

    // True when the local path, with every symbolic link followed, lies inside the root.
    // Paths that do not exist yet are judged by their deepest existing ancestor.
    bool contains(const QString& localPath) const;
    bool isWithin(const QString& canonicalPath) const;

    // Splits a remote path; nothing when a part is "..".
    static std::optional<QStringList> split(const QString& remotePath);

private:
    Resolved resolveParts(const QStringList& parts) const;

    QString m_root;   // canonical, without trailing "/"
};

} // namespace phone
