#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// One service instance the browser sees, with every interface it was seen on (the browser
// reports each instance once per interface and protocol; these are grouped).
struct BrowseResult
{
    std::optional<QString> serviceName; // none when the result is not a named service
    QString serviceType;
    QString domain;
    QStringList interfaces;

    friend bool operator==(const BrowseResult&, const BrowseResult&) = default;
};
