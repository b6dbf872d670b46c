#include "discovereddevices.h"

#include "common/filebrowserorder.h"
#include "common/languagemanager.h"

#include <algorithm>

bool DiscoveredDevices::isHiddenName(const QString& serviceName)
{
    const QString name = serviceName.toLower();
    return name.startsWith(QLatin1String("sdk_")) || name.contains(QLatin1String("gphone"))
           || name.contains(QLatin1String("emulator"));
}

WiFiDeviceInfo DiscoveredDevices::deviceFor(const BrowseResult& result, const InterfaceRoles& roles)
{
    WiFiDeviceInfo device;
    device.endpoint = NetworkEndpoint::service(result.serviceName.value_or(QString()), result.serviceType,
                                               result.domain, result.interfaces);
    device.id = device.endpoint.debugDescription();
    device.name = result.serviceName ? *result.serviceName : localized("未知手机");
    for (const QString& interface : result.interfaces) {
        if (roles.linkLocal.contains(interface) || interface.contains(QLatin1String("iphone"), Qt::CaseInsensitive)) {
            device.usbInterface = interface;
            break;
        }
    }
    device.isUSB = device.usbInterface.has_value();
    if (device.usbInterface)
        device.interfaceName = device.usbInterface;
    else if (!result.interfaces.isEmpty())
        device.interfaceName = result.interfaces.first();
    device.usbOnly = !result.interfaces.isEmpty()
                     && std::none_of(result.interfaces.cbegin(), result.interfaces.cend(),
                                     [&](const QString& interface) { return roles.routable.contains(interface); });
    return device;
}

void DiscoveredDevices::sortByName(QList<WiFiDeviceInfo>& devices)
{
    const QCollator collator = fileBrowserCollator();
    std::stable_sort(devices.begin(), devices.end(), [&](const WiFiDeviceInfo& a, const WiFiDeviceInfo& b) {
        return collator.compare(a.name, b.name) < 0;
    });
}

QList<WiFiDeviceInfo> DiscoveredDevices::fromResults(const QList<BrowseResult>& results, const InterfaceRoles& roles)
{
    QList<WiFiDeviceInfo> devices;
    for (const BrowseResult& result : results) {
        if (result.serviceName && isHiddenName(*result.serviceName))
            continue;
        devices << deviceFor(result, roles);
    }
    sortByName(devices);
    return devices;
}
