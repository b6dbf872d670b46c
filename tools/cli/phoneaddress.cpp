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
    if (!ok || host.isEmpty())
        return std::nullopt;
    return PhoneAddress{host, port};
}
