#pragma once

#include "networkendpoint.h"

#include <QCoroTask>
#include <QObject>
#include <QTimer>

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>

#include <chrono>
#include <optional>

// Looks up where a discovered service is reached now: its IPv4 address and port, on one
// interface or on any, through the system's mDNS daemon.
class ServiceResolver : public QObject
{
    Q_OBJECT

public:
    // The address as a host-and-port endpoint; fails with a TransportError saying why (no
    // daemon, the service gone from that interface, no answer within `limit`).
    static QCoro::Task<NetworkEndpoint> resolve(NetworkEndpoint service, std::optional<QString> interfaceName,
                                                std::chrono::milliseconds limit);

signals:
    void finished();

private:
    ServiceResolver(NetworkEndpoint service, std::optional<QString> interfaceName, std::chrono::milliseconds limit);
    ~ServiceResolver() override;

    void start();
    void finish(std::optional<NetworkEndpoint> address, const QString& failure = {});
    static void onClientState(AvahiClient* client, AvahiClientState state, void* self);
    static void onResolved(AvahiServiceResolver* resolver, AvahiIfIndex interface, AvahiProtocol protocol,
                           AvahiResolverEvent event, const char* name, const char* type, const char* domain,
                           const char* host, const AvahiAddress* address, uint16_t port, AvahiStringList* txt,
                           AvahiLookupResultFlags flags, void* self);

    NetworkEndpoint m_service;
    std::optional<QString> m_interfaceName;
    AvahiClient* m_client = nullptr;
    AvahiServiceResolver* m_resolver = nullptr;
    QTimer m_limit;
    bool m_done = false;
    std::optional<NetworkEndpoint> m_address;
    QString m_failure;
};
