#pragma once

#include <QString>

#include <optional>

// "HOST:PORT" as given on the command line; IPv6 hosts in brackets ("[::1]:8765").
struct PhoneAddress
{
    QString host;
    int port = 0;

    static std::optional<PhoneAddress> parse(const QString& text);
};
