#pragma once

#include "browseresult.h"
#include "interfaceroles.h"
#include "wifideviceinfo.h"

#include <QList>

// Turns what the browser sees into the phones the connection menu lists: emulators and SDK
// images left out, the USB link recognised, and the list in file-browser order.
class DiscoveredDevices
{
public:
    static QList<WiFiDeviceInfo> fromResults(const QList<BrowseResult>& results, const InterfaceRoles& roles);
    // Developer images announce themselves too; no user wants them in the menu.
    static bool isHiddenName(const QString& serviceName);
    static WiFiDeviceInfo deviceFor(const BrowseResult& result, const InterfaceRoles& roles);
    // By name as a file browser orders names (Phone 2 before phone 10); stable.
    static void sortByName(QList<WiFiDeviceInfo>& devices);
};
