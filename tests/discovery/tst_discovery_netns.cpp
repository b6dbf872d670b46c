// Discovery and connecting against real avahi-daemons. Runs inside the "desktop" network
// namespace that in-namespaces.sh makes: zvu0 is the link-local (iPhone USB) link to the phone,
// zvw0 the WiFi link; the phone stand-in announces "演示手机" on both and logs each request with
// the address it came from.
#include "app/macviewmodel.h"
#include "transport/servicebrowser.h"

#include "scopedsettings.h"
#include "taskrunner.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

const QString phoneName = QStringLiteral("演示手机");
const QString usbLink = QStringLiteral("zvu0");
const QString wifiLink = QStringLiteral("zvw0");

std::optional<WiFiDeviceInfo> listed(const MacViewModel& viewModel, const QString& name)
{
    for (const WiFiDeviceInfo& info : viewModel.wifiDevices()) {
        if (info.name == name)
            return info;
    }
    return std::nullopt;
}

bool run(const QString& program, const QStringList& arguments)
{
    return QProcess::execute(program, arguments) == 0;
}

void setLink(const QString& link, bool up)
{
    QVERIFY(run(QStringLiteral("ip"), {QStringLiteral("link"), QStringLiteral("set"), link,
                                      up ? QStringLiteral("up") : QStringLiteral("down")}));
}

// Where the stand-in saw the requests made since `from` come from.
QByteArray phoneLogSince(qint64 from)
{
    QFile log(qEnvironmentVariable("ZORVANE_NETNS_PHONE_LOG"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    log.seek(from);
    return log.readAll();
}

qint64 phoneLogSize()
{
    return QFile(qEnvironmentVariable("ZORVANE_NETNS_PHONE_LOG")).size();
}

} // namespace

class DiscoveryInNamespacesTest : public QObject
{
    Q_OBJECT

private:
    TransportTimings quick()
    {
        TransportTimings timings;
        timings.discoveryRefresh = 3s;
        timings.discoveryRetry = 500ms;
        timings.resolveLimit = 2s;
        timings.idleLimitWiFi = 4s;
        timings.watchdogTick = 500ms;
        return timings;
    }

    ScopedSettings m_settings;

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("ZORVANE_NETNS_PHONE_LOG"))
            QSKIP("runs only inside the namespaces that tests/discovery/in-namespaces.sh makes");
    }

    void aPhoneOnBothLinksIsOneEntryAndDeveloperImagesStayHidden()
    {
        // What the daemon itself reports: both announcements, each on both links.
        ServiceBrowser raw(WiFiTransport::serviceType());
        QSignalSpy rawResults(&raw, &ServiceBrowser::resultsChanged);
        raw.start();
        QVERIFY(rawResults.wait(5000));
        const auto results = rawResults.last().first().value<QList<BrowseResult>>();
        QStringList names;
        for (const BrowseResult& result : results)
            names << result.serviceName.value_or(QString());
        QVERIFY2(names.contains(QStringLiteral("sdk_gphone64_arm64")), qPrintable(names.join(", ")));

        MacViewModel viewModel(quick());
        viewModel.startWiFiBrowsing();
        QTRY_VERIFY_WITH_TIMEOUT(listed(viewModel, phoneName).has_value(), 5000);
        const WiFiDeviceInfo phone = *listed(viewModel, phoneName);
        QCOMPARE(phone.isUSB, true);
        QCOMPARE(phone.usbOnly, false);
        QCOMPARE(phone.usbInterface, std::optional(usbLink));
        QCOMPARE(phone.interfaceName, std::optional(usbLink));
        QCOMPARE(phone.endpoint.interfaces, (QStringList{usbLink, wifiLink}));
        QCOMPARE(viewModel.wifiDevices().size(), 1);
        QVERIFY(viewModel.wifiBrowseError().isEmpty());
    }

    void connectsOverTheLinkAsked_data()
    {
        QTest::addColumn<bool>("viaUSB");
        QTest::addColumn<QString>("seenFrom");
        QTest::addColumn<WiFiTransport::ConnectionKind>("kind");
        QTest::newRow("USB section: the link-local link")
            << true << QStringLiteral("169.254.77.1") << WiFiTransport::ConnectionKind::usbBridge;
        QTest::newRow("WiFi section: the WiFi link")
            << false << QStringLiteral("10.213.0.1") << WiFiTransport::ConnectionKind::wifi;
    }

    void connectsOverTheLinkAsked()
    {
        QFETCH(bool, viaUSB);
        QFETCH(QString, seenFrom);
        QFETCH(WiFiTransport::ConnectionKind, kind);
        MacViewModel viewModel(quick());
        viewModel.startWiFiBrowsing();
        QTRY_VERIFY_WITH_TIMEOUT(listed(viewModel, phoneName).has_value(), 5000);
        const qint64 logStart = phoneLogSize();
        QVERIFY2(runTask(viewModel.connectWiFiDevice(*listed(viewModel, phoneName), std::nullopt, viaUSB)),
                 qPrintable(viewModel.wifiErrorMessage()));
        QCOMPARE(viewModel.connectedViaUSB(), viaUSB);
        QCOMPARE(viewModel.wifiTransport().connectionKind(), kind);
        QCOMPARE(viewModel.device()->name, phoneName);
        QVERIFY(viewModel.remoteErrorMessage().isEmpty());
        const QByteArray seen = phoneLogSince(logStart);
        QVERIFY2(seen.contains("GET /info from " + seenFrom.toLatin1()), seen.constData());
        QVERIFY2(seen.contains("GET /list?path=/ from " + seenFrom.toLatin1()), seen.constData());
    }

    void aUSBAttemptFallsBackToWiFiWhenTheLinkIsDown()
    {
        MacViewModel viewModel(quick());
        viewModel.startWiFiBrowsing();
        QTRY_VERIFY_WITH_TIMEOUT(listed(viewModel, phoneName).has_value(), 5000);
        const WiFiDeviceInfo phone = *listed(viewModel, phoneName);
        QVERIFY(phone.isUSB);
        // The cable is pulled just as the user picks the phone from the USB section.
        setLink(usbLink, false);
        const qint64 logStart = phoneLogSize();
        const bool connected = runTask(viewModel.connectWiFiDevice(phone, std::nullopt, true));
        setLink(usbLink, true);
        QVERIFY2(connected, qPrintable(viewModel.wifiErrorMessage()));
        QCOMPARE(viewModel.wifiTransport().usedUSBOnLastConnect(), false);
        QCOMPARE(viewModel.wifiTransport().connectionKind(), WiFiTransport::ConnectionKind::wifi);
        QCOMPARE(viewModel.connectedViaUSB(), false);
        const QByteArray seen = phoneLogSince(logStart);
        QVERIFY2(seen.contains("GET /info from 10.213.0.1"), seen.constData());
        QVERIFY2(!seen.contains("from 169.254."), seen.constData());
    }

    void aPhoneOnlyOnTheUSBLinkIsACableConnection()
    {
        setLink(wifiLink, false);
        MacViewModel viewModel(quick());
        viewModel.startWiFiBrowsing();
        QTRY_VERIFY_WITH_TIMEOUT(listed(viewModel, phoneName).has_value(), 8000);
        const WiFiDeviceInfo phone = *listed(viewModel, phoneName);
        const qint64 logStart = phoneLogSize();
        // Picked from the WiFi section: not pinned, yet a cable is all there is.
        const bool connected = runTask(viewModel.connectWiFiDevice(phone, std::nullopt, false));
        setLink(wifiLink, true);
        QCOMPARE(phone.usbOnly, true);
        QCOMPARE(phone.isUSB, true);
        QVERIFY2(connected, qPrintable(viewModel.wifiErrorMessage()));
        QCOMPARE(viewModel.connectedViaUSB(), true);
        const QByteArray seen = phoneLogSince(logStart);
        QVERIFY2(seen.contains("GET /info from 169.254.77.1"), seen.constData());
    }

    void aStoppedDaemonIsReportedAndDiscoveryHealsWhenItIsBack()
    {
        MacViewModel viewModel(quick());
        viewModel.startWiFiBrowsing();
        QTRY_VERIFY_WITH_TIMEOUT(listed(viewModel, phoneName).has_value(), 5000);
        QVERIFY(run(QStringLiteral("avahi-daemon"), {QStringLiteral("--kill")}));
        QTRY_VERIFY_WITH_TIMEOUT(!viewModel.wifiBrowseError().isEmpty(), 5000);
        const QString failure = viewModel.wifiBrowseError();
        QVERIFY2(failure.startsWith(QStringLiteral("WiFi 设备发现故障：")), qPrintable(failure));
        QVERIFY2(failure.endsWith(QStringLiteral("，已自动重启扫描")), qPrintable(failure));
        QVERIFY(failure.size() > QStringLiteral("WiFi 设备发现故障：，已自动重启扫描").size());
        // Retries go on without a daemon: the window stays usable and nothing is reported twice
        // as a different failure.
        QTest::qWait(1200);
        QVERIFY(!viewModel.wifiBrowseError().isEmpty());

        QSignalSpy reports(&viewModel.wifiTransport(), &WiFiTransport::discoveryReported);
        QVERIFY(run(QStringLiteral("avahi-daemon"), {QStringLiteral("-D"), QStringLiteral("--no-rlimits"),
                                                     QStringLiteral("-f"),
                                                     qEnvironmentVariable("ZORVANE_NETNS_AVAHI_CONF")}));
        QTRY_VERIFY_WITH_TIMEOUT(viewModel.wifiBrowseError().isEmpty(), 5000);
        // A list from the new daemon, with the phone in it.
        QTRY_VERIFY_WITH_TIMEOUT(viewModel.wifiTransport().browseSettled(), 5000);
        const auto& devices = viewModel.wifiTransport().devices();
        QVERIFY(std::any_of(devices.cbegin(), devices.cend(),
                            [](const WiFiDeviceInfo& info) { return info.name == phoneName; }));
        QVERIFY(!reports.isEmpty());
    }
};

QTEST_GUILESS_MAIN(DiscoveryInNamespacesTest)
#include "tst_discovery_netns.moc"
