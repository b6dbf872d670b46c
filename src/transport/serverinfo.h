#pragma once

#include <QByteArray>
#include <QString>

// The JSON object a phone answers /info with.
struct ServerInfo
{
    QString name;
    QString systemVersion;
    qint64 storageFree = 0;
    QString platform;
    bool gzip = false;

    // Throws PlatformError naming the problem when the body is not JSON, a required key is
    // missing or a value has the wrong type. Unknown keys are ignored.
    static ServerInfo decode(const QByteArray& json);
};
