#include "networkendpoint.h"

NetworkEndpoint NetworkEndpoint::hostAndPort(const QString& host, quint16 port)
{
    NetworkEndpoint e;
    e.kind = Kind::hostPort;
    e.host = host;
    e.port = port;
    return e;
}

NetworkEndpoint NetworkEndpoint::service(const QString& name, const QString& type, const QString& domain,
                                         const QStringList& interfaces)
{
    NetworkEndpoint e;
    e.kind = Kind::service;
    e.serviceName = name;
    e.serviceType = type;
    e.domain = domain;
    e.interfaces = interfaces;
    return e;
}

QString NetworkEndpoint::debugDescription() const
{
    if (kind == Kind::hostPort) {
        const bool ipv6 = host.contains(QLatin1Char(':'));
        return (ipv6 ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':')
               + QString::number(port);
    }
    return serviceName + QLatin1Char('.') + serviceType + QLatin1Char('.') + domain;
}
