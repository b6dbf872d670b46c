#pragma once

#include <QString>

// Where a request goes: either a plain host and port (an adb tunnel end, or a phone reached by
// address) or a DNS-SD service instance that is resolved when a request connects to it.
struct NetworkEndpoint
{
    enum class Kind { hostPort, service };

    Kind kind = Kind::hostPort;
    // hostPort
    QString host;
    quint16 port = 0;
    // service
    QString serviceName;
    QString serviceType;
    QString domain;
    int interfaceIndex = -1; // the interface the service was seen on, -1 for any

    static NetworkEndpoint hostAndPort(const QString& host, quint16 port);
    static NetworkEndpoint service(const QString& name, const QString& type, const QString& domain,
                                   int interfaceIndex = -1);

    bool isService() const { return kind == Kind::service; }
    // A stable text naming the endpoint (the discovered service's id is made from it).
    QString debugDescription() const;

    friend bool operator==(const NetworkEndpoint&, const NetworkEndpoint&) = default;
};
