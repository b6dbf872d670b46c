// The rules that turn what the browser sees into the connection menu's list, and discovery's
// behaviour when the machine's mDNS daemon cannot be reached.
#include "transport/discovereddevices.h"
#include "transport/interfaceroles.h"
#include "transport/wifitransport.h"

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(InterfaceRoles)

namespace {

BrowseResult seen(const QString& name, const QStringList& interfaces = {QStringLiteral("en0")})
{
    return BrowseResult{name, QStringLiteral("_tarnivox._tcp"), QStringLiteral("local"), interfaces};
}

InterfaceRoles roles(const QStringList& linkLocal, const QStringList& routable)
{
    InterfaceRoles made;
    made.linkLocal = QSet<QString>(linkLocal.cbegin(), linkLocal.cend());
    made.routable = QSet<QString>(routable.cbegin(), routable.cend());
    return made;
}

QStringList names(const QList<WiFiDeviceInfo>& devices)
{
    QStringList listed;
    for (const WiFiDeviceInfo& device : devices)
        listed << device.name;
    return listed;
}

} // namespace

class DiscoveryTest : public QObject
{
    Q_OBJECT

private slots:
    void developerImagesAreLeftOut_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("listed");
        QTest::newRow("SDK image") << "sdk_gphone64_arm64" << false;
        QTest::newRow("SDK prefix in capitals") << "SDK_phone" << false;
        QTest::newRow("gphone inside") << "My gPhone" << false;
        QTest::newRow("emulator") << "Android Emulator" << false;
        QTest::newRow("a phone") << "My Phone" << true;
        QTest::newRow("sdk not at the start") << "Xsdk_phone" << true;
        QTest::newRow("Chinese name") << "小明的手机" << true;
    }

    void developerImagesAreLeftOut()
    {
        QFETCH(QString, name);
        QFETCH(bool, listed);
        const auto devices = DiscoveredDevices::fromResults({seen(name)}, roles({}, {"en0"}));
        QCOMPARE(devices.size(), listed ? 1 : 0);
    }

    void listedInFileBrowserOrder()
    {
        const auto devices = DiscoveredDevices::fromResults(
            {seen("phone 10"), seen("Phone 2"), seen("apple"), seen("Phone 2", {"en1"})}, roles({}, {"en0", "en1"}));
        QCOMPARE(names(devices), (QStringList{"apple", "Phone 2", "Phone 2", "phone 10"}));
        // Two phones named alike stay two entries, in the order they were seen.
        QCOMPARE(devices[1].endpoint.interfaces, QStringList{"en0"});
        QCOMPARE(devices[2].endpoint.interfaces, QStringList{"en1"});
    }

    void theUSBLinkIsRecognised_data()
    {
        QTest::addColumn<std::optional<QString>>("name");
        QTest::addColumn<QStringList>("interfaces");
        QTest::addColumn<InterfaceRoles>("roles");
        QTest::addColumn<QString>("shownName");
        QTest::addColumn<std::optional<QString>>("usbInterface");
        QTest::addColumn<std::optional<QString>>("interfaceName");
        QTest::addColumn<bool>("usbOnly");

        const std::optional<QString> none;
        const std::optional<QString> phone = QStringLiteral("iPhone");
        QTest::newRow("link-local only") << phone << QStringList{"en5"} << roles({"en5"}, {"en0"}) << "iPhone"
                                         << std::optional<QString>("en5") << std::optional<QString>("en5") << true;
        QTest::newRow("routable only") << phone << QStringList{"en0"} << roles({"en5"}, {"en0"}) << "iPhone" << none
                                       << std::optional<QString>("en0") << false;
        QTest::newRow("both links") << phone << QStringList{"en0", "en5"} << roles({"en5"}, {"en0"}) << "iPhone"
                                    << std::optional<QString>("en5") << std::optional<QString>("en5") << false;
        QTest::newRow("an interface in both sets")
            << phone << QStringList{"en0"} << roles({"en0"}, {"en0"}) << "iPhone" << std::optional<QString>("en0")
            << std::optional<QString>("en0") << false;
        QTest::newRow("named iphone, no address roles")
            << phone << QStringList{"iPhone USB"} << roles({}, {}) << "iPhone" << std::optional<QString>("iPhone USB")
            << std::optional<QString>("iPhone USB") << true;
        QTest::newRow("no interfaces, no name") << none << QStringList{} << roles({"en5"}, {"en0"}) << "未知手机" << none
                                                << none << false;
    }

    void theUSBLinkIsRecognised()
    {
        QFETCH(std::optional<QString>, name);
        QFETCH(QStringList, interfaces);
        QFETCH(InterfaceRoles, roles);
        BrowseResult result = seen(QString(), interfaces);
        result.serviceName = name;
        const WiFiDeviceInfo device = DiscoveredDevices::deviceFor(result, roles);
        QTEST(device.name, "shownName");
        QTEST(device.usbInterface, "usbInterface");
        QTEST(device.interfaceName, "interfaceName");
        QTEST(device.usbOnly, "usbOnly");
        QCOMPARE(device.isUSB, device.usbInterface.has_value());
        QCOMPARE(device.id, device.endpoint.debugDescription());
    }

    void interfaceRolesByAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("linkLocal");
        QTest::addColumn<bool>("routable");
        QTest::newRow("link-local") << "169.254.12.7" << true << false;
        QTest::newRow("loopback") << "127.0.0.1" << false << false;
        QTest::newRow("private network") << "192.168.1.20" << false << true;
        QTest::newRow("other loopback address") << "127.0.0.2" << false << true;
        QTest::newRow("not link-local") << "169.25.1.1" << false << true;
    }

    void interfaceRolesByAddress()
    {
        QFETCH(QString, address);
        InterfaceRoles roles;
        roles.addAddress("eth0", address);
        QTEST(roles.linkLocal.contains("eth0"), "linkLocal");
        QTEST(roles.routable.contains("eth0"), "routable");
    }

    // No system bus here: discovery reports why, keeps retrying, and lists the phones reached by
    // address all the same.
    void aMissingDaemonIsAFailureThatIsRetried()
    {
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zorvane-test-bus");
        TransportTimings timings;
        timings.discoveryRetry = 200ms;
        WiFiTransport transport(timings);
        QStringList errors;
        QList<QList<WiFiDeviceInfo>> reports;
        transport.onBrowseError = [&](const std::optional<QString>& text) { errors << text.value_or("(none)"); };
        transport.onDevicesChanged = [&](const QList<WiFiDeviceInfo>& list) { reports << list; };
        transport.startBrowsing();
        transport.startBrowsing(); // starting again replaces the browser, it does not add one
        QTRY_COMPARE_WITH_TIMEOUT(errors.size() >= 3, true, 3000);
        for (const QString& error : std::as_const(errors)) {
            QVERIFY2(error.startsWith("WiFi 设备发现故障：") && error.endsWith("，已自动重启扫描"), qPrintable(error));
            QVERIFY(error.size() > QString("WiFi 设备发现故障：，已自动重启扫描").size());
        }
        QVERIFY(transport.browseSettled());

        transport.setAddressedDevices({[] {
            WiFiDeviceInfo info;
            info.endpoint = NetworkEndpoint::hostAndPort("192.168.1.9", 8765);
            info.id = info.endpoint.debugDescription();
            info.name = "家里的手机";
            return info;
        }()});
        QCOMPARE(names(reports.last()), QStringList{"家里的手机"});
    }
};

QTEST_GUILESS_MAIN(DiscoveryTest)
#include "tst_discovery.moc"
