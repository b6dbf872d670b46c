#include "serviceresolver.h"

#include "avahiqtpoll.h"
#include "transporterror.h"

#include "common/languagemanager.h"
#include "common/texttemplate.h"

#include <QCoroSignal>

#include <avahi-common/address.h>
#include <avahi-common/error.h>

#include <net/if.h>

#include <memory>

ServiceResolver::ServiceResolver(NetworkEndpoint service, std::optional<QString> interfaceName,
                                 std::chrono::milliseconds limit)
    : m_service(std::move(service)), m_interfaceName(std::move(interfaceName))
{
    m_limit.setSingleShot(true);
    m_limit.setInterval(limit);
    QObject::connect(&m_limit, &QTimer::timeout, this, [this] { finish(std::nullopt, localized("没有应答")); });
}

ServiceResolver::~ServiceResolver()
{
    if (m_resolver)
        avahi_service_resolver_free(m_resolver);
    if (m_client)
        avahi_client_free(m_client);
}

QCoro::Task<NetworkEndpoint> ServiceResolver::resolve(NetworkEndpoint service, std::optional<QString> interfaceName,
                                                      std::chrono::milliseconds limit)
{
    const std::unique_ptr<ServiceResolver, void (*)(ServiceResolver*)> lookup(
        new ServiceResolver(service, std::move(interfaceName), limit), [](ServiceResolver* r) { r->deleteLater(); });
    lookup->start();
    if (!lookup->m_done)
        co_await qCoro(lookup.get(), &ServiceResolver::finished);
    if (lookup->m_address)
        co_return *lookup->m_address;
    throw TransportError::operationFailed(
        localizedFormat("找不到手机“%@”的地址：%@", {service.serviceName, lookup->m_failure}));
}

void ServiceResolver::start()
{
    int interfaceIndex = AVAHI_IF_UNSPEC;
    if (m_interfaceName) {
        const unsigned index = if_nametoindex(m_interfaceName->toLocal8Bit().constData());
        if (index == 0) {
            finish(std::nullopt, localizedFormat("网络接口 %@ 已不存在", {*m_interfaceName}));
            return;
        }
        interfaceIndex = int(index);
    }
    m_limit.start();
    int error = 0;
    m_client = avahi_client_new(AvahiQtPoll::api(), AvahiClientFlags(0), &ServiceResolver::onClientState, this, &error);
    if (!m_client) {
        finish(std::nullopt, QString::fromUtf8(avahi_strerror(error)));
        return;
    }
    if (m_done)
        return;
    const QByteArray name = m_service.serviceName.toUtf8();
    const QByteArray type = m_service.serviceType.toUtf8();
    const QByteArray domain = m_service.domain.toUtf8();
    m_resolver = avahi_service_resolver_new(m_client, interfaceIndex, AVAHI_PROTO_INET, name.constData(),
                                            type.constData(), domain.isEmpty() ? nullptr : domain.constData(),
                                            AVAHI_PROTO_INET, AvahiLookupFlags(0), &ServiceResolver::onResolved, this);
    if (!m_resolver)
        finish(std::nullopt, QString::fromUtf8(avahi_strerror(avahi_client_errno(m_client))));
}

void ServiceResolver::onClientState(AvahiClient* client, AvahiClientState state, void* self)
{
    if (state == AVAHI_CLIENT_FAILURE)
        static_cast<ServiceResolver*>(self)->finish(std::nullopt,
                                                    QString::fromUtf8(avahi_strerror(avahi_client_errno(client))));
}

void ServiceResolver::onResolved(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                                 const char*, const char*, const char*, const char*, const AvahiAddress* address,
                                 uint16_t port, AvahiStringList*, AvahiLookupResultFlags, void* self)
{
    auto* lookup = static_cast<ServiceResolver*>(self);
    if (event != AVAHI_RESOLVER_FOUND || !address) {
        lookup->finish(std::nullopt, QString::fromUtf8(avahi_strerror(
                                         avahi_client_errno(avahi_service_resolver_get_client(resolver)))));
        return;
    }
    char text[AVAHI_ADDRESS_STR_MAX] = {};
    avahi_address_snprint(text, sizeof text, address);
    lookup->finish(NetworkEndpoint::hostAndPort(QString::fromLatin1(text), port));
}

void ServiceResolver::finish(std::optional<NetworkEndpoint> address, const QString& failure)
{
    if (m_done)
        return;
    m_done = true;
    m_limit.stop();
    m_address = std::move(address);
    m_failure = failure;
    // Told from the event loop: the waiting task may delete this object as soon as it resumes.
    QMetaObject::invokeMethod(this, [this] { emit finished(); }, Qt::QueuedConnection);
}
