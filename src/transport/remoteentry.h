#pragma once

#include <QString>

// One entry of a remote listing. `id` is the full remote path; folders end in "/".
struct RemoteEntry
{
    QString id;
    QString name;
    bool isDirectory = false;
    qint64 size = 0;

    friend bool operator==(const RemoteEntry&, const RemoteEntry&) = default;
};
