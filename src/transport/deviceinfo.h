#pragma once

#include <QString>

#include <optional>

// The connected phone, as its /info answer described it.
struct DeviceInfo
{
    QString id;
    QString name;
    QString model;
    QString systemVersion;
    std::optional<qint64> storageFree;
    QString platform;
    bool gzip = false;
    bool fileCabinAvailable = true;

    friend bool operator==(const DeviceInfo&, const DeviceInfo&) = default;
};
