#include "servicepublisher.h"

#include "transport/avahiqtpoll.h"

#include <QThread>

#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

#include <cstdio>

namespace phone {

ServicePublisher::ServicePublisher(QString instanceName, QString serviceType, quint16 port)
    : m_name(instanceName.toUtf8()), m_type(serviceType.toUtf8()), m_port(port)
{
}

ServicePublisher::~ServicePublisher()
{
    if (m_client)
        avahi_client_free(m_client); // frees the group with it
}

bool ServicePublisher::start(QString* error)
{
    int code = 0;
    // NO_FAIL: when the daemon goes away the client waits for it and announces again. A daemon
    // that was started a moment ago may still refuse the first client: try for a few seconds.
    for (int attempt = 0; attempt < 25 && !m_client; ++attempt) {
        if (attempt > 0)
            QThread::msleep(200);
        m_client = avahi_client_new(AvahiQtPoll::api(), AVAHI_CLIENT_NO_FAIL, &ServicePublisher::onClientState,
                                    this, &code);
    }
    if (!m_client) {
        *error = QStringLiteral("cannot reach avahi-daemon: %1").arg(QString::fromUtf8(avahi_strerror(code)));
        return false;
    }
    return true;
}

void ServicePublisher::report(const QString& text) const
{
    std::fprintf(stderr, "zorvane-phone: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void ServicePublisher::onClientState(AvahiClient* client, AvahiClientState state, void* self)
{
    auto* publisher = static_cast<ServicePublisher*>(self);
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        publisher->announce(client);
        break;
    case AVAHI_CLIENT_S_COLLISION:
    case AVAHI_CLIENT_S_REGISTERING:
        // The host name is being (re)established; announce again once it is.
        if (publisher->m_group)
            avahi_entry_group_reset(publisher->m_group);
        break;
    case AVAHI_CLIENT_CONNECTING:
        // The daemon went away; its entry group went with it.
        publisher->m_group = nullptr;
        publisher->report(QStringLiteral("waiting for avahi-daemon"));
        break;
    case AVAHI_CLIENT_FAILURE:
        publisher->report(QStringLiteral("avahi-daemon: %1").arg(
            QString::fromUtf8(avahi_strerror(avahi_client_errno(client)))));
        break;
    }
}

void ServicePublisher::onGroupState(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self)
{
    auto* publisher = static_cast<ServicePublisher*>(self);
    if (state == AVAHI_ENTRY_GROUP_ESTABLISHED) {
        publisher->report(QStringLiteral("announced as \"%1\"").arg(QString::fromUtf8(publisher->m_name)));
    } else if (state == AVAHI_ENTRY_GROUP_COLLISION) {
        char* other = avahi_alternative_service_name(publisher->m_name.constData());
        publisher->m_name = other;
        avahi_free(other);
        avahi_entry_group_reset(group);
        publisher->announce(avahi_entry_group_get_client(group));
    } else if (state == AVAHI_ENTRY_GROUP_FAILURE) {
        publisher->report(QStringLiteral("announcing failed: %1").arg(QString::fromUtf8(
            avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(group))))));
    }
}

void ServicePublisher::announce(AvahiClient* client)
{
    if (!m_group) {
        m_group = avahi_entry_group_new(client, &ServicePublisher::onGroupState, this);
        if (!m_group) {
            report(QStringLiteral("announcing failed: %1").arg(
                QString::fromUtf8(avahi_strerror(avahi_client_errno(client)))));
            return;
        }
    }
    if (!avahi_entry_group_is_empty(m_group))
        return;
    const int added = avahi_entry_group_add_service(m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0),
                                                    m_name.constData(), m_type.constData(), nullptr, nullptr, m_port,
                                                    static_cast<const char*>(nullptr));
    if (added == AVAHI_ERR_COLLISION) {
        char* other = avahi_alternative_service_name(m_name.constData());
        m_name = other;
        avahi_free(other);
        announce(client);
        return;
    }
    if (added < 0 || avahi_entry_group_commit(m_group) < 0)
        report(QStringLiteral("announcing failed: %1").arg(QString::fromUtf8(avahi_strerror(avahi_client_errno(client)))));
}

} // namespace phone
