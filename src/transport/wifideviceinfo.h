#pragma once

#include "networkendpoint.h"

#include <QString>

#include <optional>

// One discovered phone service, with the facts about the USB link it may be seen on.
struct WiFiDeviceInfo
{
    QString id;
    QString name;
    NetworkEndpoint endpoint;
    std::optional<QString> interfaceName;
    bool isUSB = false;
    std::optional<QString> usbInterface;
    bool usbOnly = false;

    friend bool operator==(const WiFiDeviceInfo&, const WiFiDeviceInfo&) = default;
};
