#include "rawpeer.h"

#include "phoneprocess.h"
#include "scopedsettings.h"

#include "transport/clientidentity.h"
#include "transport/transporterror.h"
#include "transport/wifitransport.h"
#include "common/zorvaneerror.h"

#include "taskrunner.h"

#include <QCoroTask>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <QTemporaryDir>

using namespace std::chrono_literals;

namespace {

template <typename T>
QString failureOf(QCoro::Task<T>&& task)
{
    try {
        runTask(std::move(task));
    } catch (const TransportError& error) {
        return error.kind() == TransportError::Kind::pairingRequired ? QStringLiteral("<pairingRequired>")
                                                                     : error.description();
    } catch (const std::exception& error) {
        return errorDescription(error);
    }
    return {};
}

WiFiDeviceInfo serviceAt(const QString& host, quint16 port, std::optional<QString> usbInterface = {})
{
    WiFiDeviceInfo info;
    info.id = QStringLiteral("phone-1._tarnivox._tcp.local.");
    info.name = QStringLiteral("测试机");
    info.endpoint = NetworkEndpoint::hostAndPort(host, port);
    info.usbInterface = usbInterface;
    info.isUSB = usbInterface.has_value();
    return info;
}

const QString wrongCode = QStringLiteral("配对码不正确，请核对手机上「连接管理」里显示的 6 位数字");

} // namespace

class HandshakeTest : public QObject
{
    Q_OBJECT

private:
    ScopedSettings m_settings;
    TransportTimings m_fast{1000ms, 1000ms, 100ms};

private slots:
    void pairingWithTheStandIn()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--pairing-code", "246810", "--name", "小米 14", "--system-version", "Android 14",
                              "--platform", "android", "--storage-free", "123456789"}),
                 qPrintable(phone.errorText()));
        WiFiTransport transport(m_fast);

        // Not yet known: the phone asks for the code and the transport is left unconnected.
        QCOMPARE(failureOf(transport.connect(phone.host(), phone.port(), "serial-9", "Mi 14", std::nullopt)),
                 QStringLiteral("<pairingRequired>"));
        QVERIFY(!transport.endpoint());
        QVERIFY(!transport.connectedDevice());

        QCOMPARE(failureOf(transport.connect(phone.host(), phone.port(), "serial-9", "Mi 14", QStringLiteral("111111"))),
                 wrongCode);
        QVERIFY(!transport.endpoint());

        const DeviceInfo device = runTask(
            transport.connect(phone.host(), phone.port(), "serial-9", "Mi 14", QStringLiteral("246810")));
        QCOMPARE(device.id, QStringLiteral("serial-9"));
        QCOMPARE(device.model, QStringLiteral("Mi 14"));
        QCOMPARE(device.name, QStringLiteral("小米 14"));
        QCOMPARE(device.systemVersion, QStringLiteral("Android 14"));
        QCOMPARE(device.storageFree, std::optional<qint64>(123456789));
        QCOMPARE(device.platform, QStringLiteral("android"));
        QVERIFY(device.fileCabinAvailable);
        QCOMPARE(transport.connectionKind(), WiFiTransport::ConnectionKind::adbTunnel);
        QCOMPARE(transport.connectedDevice(), std::optional<DeviceInfo>(device));

        // Once paired, this computer is admitted without a code.
        const DeviceInfo again = runTask(transport.connect(phone.host(), phone.port(), "serial-9", "Mi 14", std::nullopt));
        QCOMPARE(again.name, device.name);
    }

    void discoveredServiceHandshake()
    {
        RawPeer peer;
        peer.setScripts({RawPeer::answer(200, R"({"name":"iPhone","systemVersion":"iOS 17","storageFree":7})")});
        WiFiTransport transport(m_fast);
        const DeviceInfo device =
            runTask(transport.connect(serviceAt("127.0.0.1", peer.port()), std::nullopt, false));
        QCOMPARE(device.id, QStringLiteral("phone-1._tarnivox._tcp.local."));
        QCOMPARE(device.model, QStringLiteral("WiFi"));
        QCOMPARE(device.platform, QString());
        QVERIFY(!device.gzip);
        QCOMPARE(transport.connectionKind(), WiFiTransport::ConnectionKind::wifi);
        QVERIFY(!transport.usedUSBOnLastConnect());
        QVERIFY(peer.received(0).startsWith("GET /info HTTP/1.1\r\n"));
    }

    void handshakeFailures_data()
    {
        QTest::addColumn<QList<RawPeer::Script>>("scripts");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("code accepted, still 401")
            << QList<RawPeer::Script>{RawPeer::answer(200, ""), RawPeer::answer(401, "")} << "123456"
            << "<pairingRequired>";
        QTest::newRow("pair other status") << QList<RawPeer::Script>{RawPeer::answer(500, "")} << "123456"
                                           << "配对失败（HTTP 500）";
        QTest::newRow("info other status") << QList<RawPeer::Script>{RawPeer::answer(503, "")} << QString()
                                           << "握手失败（HTTP 503）";
        // Some other web server at that address ("ADDRESS" is the peer's).
        QTest::newRow("no /info") << QList<RawPeer::Script>{RawPeer::answer(404, "")} << QString()
                                  << "ADDRESS 上的服务不是手机的文件服务（/info 答复 HTTP 404）";
        QTest::newRow("info not JSON") << QList<RawPeer::Script>{RawPeer::answer(200, "<html>")} << QString()
                                       << "ADDRESS 上的服务不像手机的文件服务：手机信息无法解读：不是有效的 JSON 对象";
        QTest::newRow("info missing a key")
            << QList<RawPeer::Script>{RawPeer::answer(200, R"({"name":"a","storageFree":1})")} << QString()
            << "ADDRESS 上的服务不像手机的文件服务：手机信息无法解读：缺少字段“systemVersion”";
    }

    void handshakeFailures()
    {
        QFETCH(QList<RawPeer::Script>, scripts);
        QFETCH(QString, code);
        QFETCH(QString, expected);
        RawPeer peer;
        peer.setScripts(scripts);
        WiFiTransport transport(m_fast);
        const std::optional<QString> pairingCode = code.isEmpty() ? std::nullopt : std::optional(code);
        expected.replace("ADDRESS", QStringLiteral("127.0.0.1:%1").arg(peer.port()));
        QCOMPARE(failureOf(transport.connect(serviceAt("127.0.0.1", peer.port()), pairingCode, false)), expected);
        QVERIFY(!transport.endpoint());
        QVERIFY(!transport.connectedDevice());
        if (!code.isEmpty())
            QVERIFY(peer.received(0).startsWith("POST /pair?code=" + code.toUtf8() + " HTTP/1.1\r\n"));
    }

    void usbAttempt()
    {
        // 401 over the USB link: pairing is needed, and WiFi is not tried.
        {
            RawPeer peer;
            peer.setScripts({RawPeer::answer(401, "")});
            WiFiTransport transport(m_fast);
            QCOMPARE(failureOf(transport.connect(serviceAt("127.0.0.1", peer.port(), QStringLiteral("lo")),
                                                 std::nullopt, true)),
                     QStringLiteral("<pairingRequired>"));
            QCOMPARE(peer.connectionCount(), 1);
            QVERIFY(!transport.endpoint());
        }
        // A silent USB link: the same service over WiFi after the watchdog gave up.
        {
            RawPeer peer;
            peer.setScripts({{RawPeer::hold()}, RawPeer::infoAnswer()});
            WiFiTransport transport(m_fast);
            const DeviceInfo device = runTask(
                transport.connect(serviceAt("127.0.0.1", peer.port(), QStringLiteral("lo")), std::nullopt, true));
            QCOMPARE(device.name, QStringLiteral("测试机"));
            QCOMPARE(peer.connectionCount(), 2);
            QCOMPARE(transport.connectionKind(), WiFiTransport::ConnectionKind::wifi);
            QVERIFY(!transport.usedUSBOnLastConnect());
            QVERIFY(!transport.pinnedInterface());
        }
        // Over the USB link.
        {
            RawPeer peer;
            peer.setScripts({RawPeer::infoAnswer()});
            WiFiTransport transport(m_fast);
            runTask(transport.connect(serviceAt("127.0.0.1", peer.port(), QStringLiteral("lo")), std::nullopt, true));
            QCOMPARE(transport.connectionKind(), WiFiTransport::ConnectionKind::usbBridge);
            QVERIFY(transport.usedUSBOnLastConnect());
            QCOMPARE(transport.pinnedInterface(), std::optional<QString>("lo"));
        }
        // The USB link has gone away: nothing may leave through another link under its name, so
        // the USB attempt fails without a connection and the WiFi attempt makes the connection.
        {
            RawPeer peer;
            peer.setScripts({RawPeer::infoAnswer()});
            WiFiTransport transport(m_fast);
            runTask(transport.connect(serviceAt("127.0.0.1", peer.port(), QStringLiteral("zvnolink0")), std::nullopt,
                                      true));
            QCOMPARE(peer.connectionCount(), 1);
            QCOMPARE(transport.connectionKind(), WiFiTransport::ConnectionKind::wifi);
            QVERIFY(!transport.usedUSBOnLastConnect());
        }
        // USB asked for, but the service has no USB interface: a plain WiFi attempt, whose
        // failure leaves the kind the caller asked for.
        {
            RawPeer peer;
            peer.setScripts({RawPeer::answer(500, "")});
            WiFiTransport transport(m_fast);
            QCOMPARE(failureOf(transport.connect(serviceAt("127.0.0.1", peer.port()), std::nullopt, true)),
                     QStringLiteral("握手失败（HTTP 500）"));
            QCOMPARE(transport.connectionKind(), WiFiTransport::ConnectionKind::usbBridge);
        }
    }

    void rejectedPorts_data()
    {
        QTest::addColumn<int>("port");
        QTest::newRow("zero") << 0;
        QTest::newRow("too large") << 70000;
        QTest::newRow("negative") << -1;
    }

    void rejectedPorts()
    {
        QFETCH(int, port);
        WiFiTransport transport(m_fast);
        QCOMPARE(failureOf(transport.connect("127.0.0.1", port, "s", "m", std::nullopt)),
                 QStringLiteral("本地转发端口无效：") + QString::number(port));
        transport.switchEndpoint("127.0.0.1", port);
        QVERIFY(!transport.endpoint());
    }

    void pingAcceptsAnyAnswer()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--fault", "/info:status:500"}), qPrintable(phone.errorText()));
        WiFiTransport transport(m_fast);
        QCOMPARE(failureOf(transport.ping()), QStringLiteral("未检测到已连接的手机"));
        transport.switchEndpoint(phone.host(), phone.port());
        runTask(transport.ping());
        QCOMPARE(transport.connectionKind(), WiFiTransport::ConnectionKind::adbTunnel);
        phone.kill();
        QVERIFY(!failureOf(transport.ping()).isEmpty());
    }

    void disconnectLeavesRequestsInFlightAlone()
    {
        RawPeer peer;
        peer.setScripts({RawPeer::infoAnswer(),
                         {RawPeer::send("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nabc"), RawPeer::pause(200),
                          RawPeer::send("def"), RawPeer::hold()}});
        WiFiTransport transport(m_fast);
        runTask(transport.connect(serviceAt("127.0.0.1", peer.port()), std::nullopt, false));
        auto download = transport.performRequest("GET", "/download", QStringLiteral("/a"));
        transport.disconnect();
        QCOMPARE(runTask(std::move(download)).body, QByteArray("abcdef"));
        QCOMPARE(failureOf(transport.performRequest("GET", "/info", std::nullopt)),
                 QStringLiteral("未检测到已连接的手机"));
    }

    void identityIsMadeOnceAndKept()
    {
        QSettings settings;
        settings.remove(ClientIdentity::settingsKey);
        const QString made = ClientIdentity::readOrCreate();
        QVERIFY2(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$").match(made).hasMatch(),
                 qPrintable(made));
        QCOMPARE(QSettings().value(ClientIdentity::settingsKey).toString(), made);
        QCOMPARE(ClientIdentity::readOrCreate(), made);

        QSettings().setValue(ClientIdentity::settingsKey, QString());
        const QString replaced = ClientIdentity::readOrCreate();
        QVERIFY(!replaced.isEmpty());
        QVERIFY(replaced != made);
    }

    void identitySurvivesARestart()
    {
        // Two runs of the command-line client with the same settings folder: the phone admits
        // the second run because it is the same computer.
        const QString cli = qEnvironmentVariable("ZORVANE_CLI_BIN");
        QVERIFY(!cli.isEmpty());
        PhoneProcess phone;
        QVERIFY2(phone.start({"--pairing-code", "135790", "--name", "演示手机"}), qPrintable(phone.errorText()));
        QTemporaryDir config;
        const auto runCli = [&](const QStringList& args) {
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("XDG_CONFIG_HOME", config.path());
            process.setProcessEnvironment(env);
            process.start(cli, args);
            process.waitForFinished(20000);
            return std::make_pair(process.exitCode(), QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()));
        };
        const QStringList base{"info", "--phone", phone.address()};
        auto [refused, refusedText] = runCli(base);
        QCOMPARE(refused, 1);
        QVERIFY2(refusedText.contains("手机端需要配对"), qPrintable(refusedText));
        auto [paired, pairedText] = runCli(base + QStringList{"--code", "135790"});
        QCOMPARE(paired, 0);
        QVERIFY2(pairedText.contains("演示手机"), qPrintable(pairedText));
        auto [again, againText] = runCli(base);
        QCOMPARE(again, 0);
        QVERIFY2(againText.contains("演示手机"), qPrintable(againText));
    }

    // Free space as the phone says it now, not as it said at the handshake.
    void currentStorageFree_data()
    {
        QTest::addColumn<RawPeer::Script>("answer");
        QTest::addColumn<QString>("expected"); // the figure, "none", or the failure text
        QTest::newRow("a new figure") << RawPeer::answer(200, R"({"name":"a","systemVersion":"x","storageFree":7})") << "7";
        QTest::newRow("no figure") << RawPeer::answer(200, R"({"name":"a","systemVersion":"x"})") << "none";
        QTest::newRow("figure as text") << RawPeer::answer(200, R"({"storageFree":"7"})") << "none";
        QTest::newRow("not JSON") << RawPeer::answer(200, "busy") << "none";
        QTest::newRow("status 500") << RawPeer::answer(500, "") << "读取手机可用空间失败（HTTP 500）";
        QTest::newRow("pairing needed") << RawPeer::answer(401, "") << "<pairingRequired>";
        QTest::newRow("no answer") << RawPeer::Script{RawPeer::close()} << "连接手机失败（无响应）";
    }

    void currentStorageFree()
    {
        QFETCH(RawPeer::Script, answer);
        QFETCH(QString, expected);
        RawPeer peer;
        peer.setScripts({RawPeer::infoAnswer(), answer});
        WiFiTransport transport(m_fast);
        runTask(transport.connect(serviceAt(QStringLiteral("127.0.0.1"), peer.port()), std::nullopt, false));
        QString outcome = failureOf(transport.currentStorageFree());
        if (outcome.isEmpty()) {
            const std::optional<qint64> free = runTask(transport.currentStorageFree());
            outcome = free ? QString::number(*free) : QStringLiteral("none");
            // The device record follows a figure the phone gave, and keeps its last one otherwise.
            QCOMPARE(transport.connectedDevice()->storageFree, std::optional<qint64>(free ? *free : 5000000000));
        }
        QCOMPARE(outcome, expected);
    }

    void currentStorageFreeFromTheStandIn()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--storage-free", "4096"}), qPrintable(phone.errorText()));
        WiFiTransport transport(m_fast);
        QCOMPARE(failureOf(transport.currentStorageFree()), QStringLiteral("未检测到已连接的手机"));
        runTask(transport.connect(phone.host(), phone.port(), "serial-1", "Pixel", std::nullopt));
        QCOMPARE(runTask(transport.currentStorageFree()), std::optional<qint64>(4096));
    }
};

QTEST_GUILESS_MAIN(HandshakeTest)
#include "tst_handshake.moc"
