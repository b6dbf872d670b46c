#include "phoneaddress.h"

#include "rememberedphones.h"

std::optional<PhoneAddress> PhoneAddress::parse(const QString& typed)
{
    // The address as a browser shows it is accepted too: the phone serves plain HTTP only.
    QString text = typed.trimmed();
    const qsizetype scheme = text.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        if (text.left(scheme).compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
            return std::nullopt;
        text = text.mid(scheme + 3);
        if (text.endsWith(QLatin1Char('/')))
            text.chop(1);
    }
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
    return RememberedPhones::entry(host, port);
}
