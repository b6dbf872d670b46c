#include "interfaceroles.h"

#include <ifaddrs.h>
#include <netdb.h>
#include <sys/socket.h>

void InterfaceRoles::addAddress(const QString& interfaceName, const QString& address)
{
    if (address.startsWith(QLatin1String("169.254.")))
        linkLocal.insert(interfaceName);
    else if (address != QLatin1String("127.0.0.1"))
        routable.insert(interfaceName);
}

InterfaceRoles InterfaceRoles::current()
{
    InterfaceRoles roles;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return roles;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        char text[NI_MAXHOST];
        if (getnameinfo(entry->ifa_addr, sizeof(sockaddr_in), text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
            continue;
        roles.addAddress(QString::fromLocal8Bit(entry->ifa_name), QString::fromLatin1(text));
    }
    freeifaddrs(list);
    return roles;
}
