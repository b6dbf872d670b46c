#include "phoneaddress.h"

std::optional<PhoneAddress> PhoneAddress::parse(const QString& text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const int port = text.mid(colon + 1).toInt(&ok);
    if (!ok || host.isEmpty() || port < 1 || port > 65535)
        return std::nullopt;
    return PhoneAddress{host, port};
}

WiFiDeviceInfo PhoneAddress::asWiFiDevice() const
{
    WiFiDeviceInfo info;
    info.endpoint = NetworkEndpoint::hostAndPort(host, quint16(port));
    info.id = info.endpoint.debugDescription();
    info.name = host;
    return info;
}
