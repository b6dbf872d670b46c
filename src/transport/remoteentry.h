#pragma once

#include <QHashFunctions>
#include <QString>

// One entry of a remote listing. `id` is the full remote path; folders end in "/".
struct RemoteEntry
{
    QString id;
    QString name;
    bool isDirectory = false;
    qint64 size = 0;

    friend bool operator==(const RemoteEntry&, const RemoteEntry&) = default;
    friend size_t qHash(const RemoteEntry& entry, size_t seed = 0)
    {
        return qHashMulti(seed, entry.id, entry.name, entry.isDirectory, entry.size);
    }
};
