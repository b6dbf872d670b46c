#pragma once

#include <QString>
#include <QStringList>

// Where a request goes: either a plain host and port (an adb tunnel end, or a phone reached by
// address) or a DNS-SD service instance, resolved to an address when the phone is first asked.
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
    QStringList interfaces; // the interfaces the service was seen on, in the browser's order

    static NetworkEndpoint hostAndPort(const QString& host, quint16 port);
    static NetworkEndpoint service(const QString& name, const QString& type, const QString& domain,
                                   const QStringList& interfaces = {});

    bool isService() const { return kind == Kind::service; }
    // A stable text naming the endpoint (the discovered service's id is made from it).
    QString debugDescription() const;

    friend bool operator==(const NetworkEndpoint&, const NetworkEndpoint&) = default;
};
