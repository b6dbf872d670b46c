// Finding phones: the DNS-SD browse with its restarts, the list it gives, and where a found
// phone is reached.
#include "wifitransport.h"

#include "discovereddevices.h"
#include "interfaceroles.h"
#include "servicebrowser.h"
#include "serviceresolver.h"

#include "common/languagemanager.h"
#include "common/texttemplate.h"

void WiFiTransport::startBrowsing()
{
    m_refreshTimer.stop();
    m_retryTimer.stop();
    m_browser.reset();
    m_browseSettled = false;

    m_browser = std::make_unique<ServiceBrowser>(serviceType());
    QObject::connect(m_browser.get(), &ServiceBrowser::resultsChanged, this, [this](const QList<BrowseResult>& results) {
        // The roles are read anew each time: a cable plugged in since the last report changes them.
        m_browsedDevices = DiscoveredDevices::fromResults(results, InterfaceRoles::current());
        m_browseSettled = true;
        reportDevices();
    });
    QObject::connect(m_browser.get(), &ServiceBrowser::ready, this, [this] {
        if (onBrowseError)
            onBrowseError(std::nullopt);
    });
    QObject::connect(m_browser.get(), &ServiceBrowser::failed, this, &WiFiTransport::onBrowserFailed);
    m_browser->start();

    // Starting over from scratch now and then is what drops phones that left without saying so.
    m_refreshTimer.start(m_timings.discoveryRefresh);
}

void WiFiTransport::restartBrowsing()
{
    if (m_browser)
        startBrowsing();
}

void WiFiTransport::onBrowserFailed(const QString& reason)
{
    if (onBrowseError)
        onBrowseError(localizedFormat("WiFi 设备发现故障：%@，已自动重启扫描", {reason}));
    m_retryTimer.start(m_timings.discoveryRetry);
    m_browseSettled = true;
    emit discoveryReported();
}

void WiFiTransport::setAddressedDevices(const QList<WiFiDeviceInfo>& devices)
{
    m_addressedDevices = devices;
    reportDevices();
}

void WiFiTransport::reportDevices()
{
    QList<WiFiDeviceInfo> all = m_browsedDevices + m_addressedDevices;
    DiscoveredDevices::sortByName(all);
    m_devices = all;
    if (onDevicesChanged)
        onDevicesChanged(all);
    emit discoveryReported();
}

QCoro::Task<NetworkEndpoint> WiFiTransport::requestTarget()
{
    const NetworkEndpoint endpoint = *m_endpoint;
    if (!endpoint.isService())
        co_return endpoint;
    const std::optional<QString> pinned = m_pinnedInterface;
    if (m_resolved && m_resolved->second == pinned)
        co_return m_resolved->first;
    const NetworkEndpoint address = co_await resolveService(endpoint, pinned);
    // Kept only if the connection is still the one it was looked up for.
    if (m_endpoint == endpoint && m_pinnedInterface == pinned)
        m_resolved = std::pair(address, pinned);
    co_return address;
}

QCoro::Task<NetworkEndpoint> WiFiTransport::addressOf(WiFiDeviceInfo info)
{
    if (!info.endpoint.isService())
        co_return info.endpoint;
    co_return co_await resolveService(info.endpoint, std::nullopt);
}

QCoro::Task<NetworkEndpoint> WiFiTransport::resolveService(NetworkEndpoint service, std::optional<QString> pinned)
{
    // A pinned link is asked on that link only. Otherwise the interfaces the phone was seen on
    // are asked in turn, the routable ones first (a WiFi attempt should not quietly ride the
    // cable's link), then any interface at all.
    QList<std::optional<QString>> tries;
    if (pinned) {
        tries << pinned;
    } else {
        const InterfaceRoles roles = InterfaceRoles::current();
        for (const QString& interface : service.interfaces) {
            if (roles.routable.contains(interface))
                tries << interface;
        }
        tries << std::nullopt;
    }
    std::exception_ptr lastFailure;
    for (const std::optional<QString>& interface : tries) {
        try {
            co_return co_await ServiceResolver::resolve(service, interface, m_timings.resolveLimit);
        } catch (...) {
            lastFailure = std::current_exception();
        }
    }
    std::rethrow_exception(lastFailure);
}
