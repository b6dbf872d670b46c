#include "servicebrowser.h"

#include "avahiqtpoll.h"

#include <avahi-common/error.h>

#include <net/if.h>

#include <algorithm>

namespace {

QString interfaceName(int index)
{
    char name[IF_NAMESIZE] = {};
    if (index >= 0 && if_indextoname(unsigned(index), name))
        return QString::fromLocal8Bit(name);
    return QString::number(index);
}

// Changes after the first complete picture come in bursts (one per interface and protocol).
constexpr int reportDelayMs = 150;

} // namespace

ServiceBrowser::ServiceBrowser(QString serviceType, QObject* parent)
    : QObject(parent), m_serviceType(std::move(serviceType))
{
    m_reportTimer.setSingleShot(true);
    m_reportTimer.setInterval(reportDelayMs);
    QObject::connect(&m_reportTimer, &QTimer::timeout, this, [this] { emit resultsChanged(results()); });
}

ServiceBrowser::~ServiceBrowser()
{
    if (m_browser)
        avahi_service_browser_free(m_browser);
    if (m_client)
        avahi_client_free(m_client);
}

void ServiceBrowser::start()
{
    int error = 0;
    // The daemon's state callback may already run inside this call (with the client it makes).
    m_client = avahi_client_new(AvahiQtPoll::api(), AvahiClientFlags(0), &ServiceBrowser::onClientState, this, &error);
    if (!m_client)
        fail(QString::fromUtf8(avahi_strerror(error)));
}

void ServiceBrowser::onClientState(AvahiClient* client, AvahiClientState state, void* self)
{
    auto* browser = static_cast<ServiceBrowser*>(self);
    if (state == AVAHI_CLIENT_S_RUNNING && !browser->m_browser && !browser->m_failed)
        browser->createBrowser(client);
    else if (state == AVAHI_CLIENT_FAILURE)
        browser->fail(QString::fromUtf8(avahi_strerror(avahi_client_errno(client))));
}

void ServiceBrowser::createBrowser(AvahiClient* client)
{
    const QByteArray type = m_serviceType.toUtf8();
    m_browser = avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, type.constData(), nullptr,
                                          AvahiLookupFlags(0), &ServiceBrowser::onBrowse, this);
    if (!m_browser) {
        fail(QString::fromUtf8(avahi_strerror(avahi_client_errno(client))));
        return;
    }
    QMetaObject::invokeMethod(this, [this] { if (!m_failed) emit ready(); }, Qt::QueuedConnection);
}

void ServiceBrowser::onBrowse(AvahiServiceBrowser* avahiBrowser, AvahiIfIndex interface, AvahiProtocol protocol,
                              AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                              AvahiLookupResultFlags, void* self)
{
    auto* browser = static_cast<ServiceBrowser*>(self);
    if (browser->m_failed)
        return;
    switch (event) {
    case AVAHI_BROWSER_NEW:
    case AVAHI_BROWSER_REMOVE: {
        const Sighting sighting{QString::fromUtf8(name), QString::fromUtf8(type), QString::fromUtf8(domain),
                                int(interface), int(protocol)};
        if (event == AVAHI_BROWSER_REMOVE)
            browser->m_sightings.removeAll(sighting);
        else if (!browser->m_sightings.contains(sighting))
            browser->m_sightings << sighting;
        if (browser->m_settled)
            browser->reportSoon();
        break;
    }
    case AVAHI_BROWSER_ALL_FOR_NOW:
        if (!browser->m_settled) {
            browser->m_settled = true;
            browser->reportSoon();
        }
        break;
    case AVAHI_BROWSER_FAILURE:
        browser->fail(QString::fromUtf8(
            avahi_strerror(avahi_client_errno(avahi_service_browser_get_client(avahiBrowser)))));
        break;
    case AVAHI_BROWSER_CACHE_EXHAUSTED:
        break;
    }
}

void ServiceBrowser::fail(const QString& reason)
{
    if (m_failed)
        return;
    m_failed = true;
    m_reportTimer.stop();
    // Told from the event loop: the owner may replace this browser in its handler.
    QMetaObject::invokeMethod(this, [this, reason] { emit failed(reason); }, Qt::QueuedConnection);
}

void ServiceBrowser::reportSoon()
{
    if (!m_reportTimer.isActive())
        m_reportTimer.start();
}

QList<BrowseResult> ServiceBrowser::results() const
{
    struct Instance
    {
        BrowseResult result;
        QList<int> interfaceIndexes;
    };
    QList<Instance> instances;
    for (const Sighting& sighting : m_sightings) {
        auto same = std::find_if(instances.begin(), instances.end(), [&](const Instance& instance) {
            return instance.result.serviceName == sighting.name && instance.result.serviceType == sighting.type
                   && instance.result.domain == sighting.domain;
        });
        if (same == instances.end()) {
            instances << Instance{BrowseResult{sighting.name, sighting.type, sighting.domain, {}}, {}};
            same = std::prev(instances.end());
        }
        if (!same->interfaceIndexes.contains(sighting.interfaceIndex))
            same->interfaceIndexes << sighting.interfaceIndex;
    }
    QList<BrowseResult> grouped;
    for (Instance& instance : instances) {
        std::sort(instance.interfaceIndexes.begin(), instance.interfaceIndexes.end());
        for (int index : std::as_const(instance.interfaceIndexes))
            instance.result.interfaces << interfaceName(index);
        grouped << instance.result;
    }
    return grouped;
}
