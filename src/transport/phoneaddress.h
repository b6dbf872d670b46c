#pragma once

#include "transport/wifideviceinfo.h"

#include <QString>

#include <optional>

// A phone given by address, "HOST:PORT" or "http://HOST:PORT/", as the command line and the
// window's --phone take it; IPv6 hosts in brackets ("[::1]:8765").
struct PhoneAddress
{
    QString host;
    int port = 0;

    static std::optional<PhoneAddress> parse(const QString& text);
    // The phone as the connection menu lists one reached by address, named "HOST:PORT".
    WiFiDeviceInfo asWiFiDevice() const;
};
