#pragma once

#include <QString>

#include <avahi-client/client.h>
#include <avahi-client/publish.h>

namespace phone {

// Announces the stand-in over DNS-SD as the phone app does, through the system's avahi-daemon,
// under a chosen instance name. It keeps announcing across a restart of the daemon; a name taken
// by another service gets the usual " #2" suffix.
class ServicePublisher
{
public:
    ServicePublisher(QString instanceName, QString serviceType, quint16 port);
    ~ServicePublisher();
    ServicePublisher(const ServicePublisher&) = delete;
    ServicePublisher& operator=(const ServicePublisher&) = delete;

    // False with `error` set when the daemon cannot be reached at all.
    bool start(QString* error);

private:
    static void onClientState(AvahiClient* client, AvahiClientState state, void* self);
    static void onGroupState(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self);
    void announce(AvahiClient* client);
    void report(const QString& text) const;

    QByteArray m_name;
    QByteArray m_type;
    quint16 m_port;
    AvahiClient* m_client = nullptr;
    AvahiEntryGroup* m_group = nullptr;
};

} // namespace phone
