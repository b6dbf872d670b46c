#include "adbtesthelpers.h"
#include "fakeadbstate.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTest>
#include <QtConcurrent>

#include <csignal>

using namespace std::chrono_literals;
using Kind = AdbBridge::AdbError::Kind;
using Behaviour = FakeAdbState::Behaviour;

Q_DECLARE_METATYPE(FakeAdbState::Behaviour)
Q_DECLARE_METATYPE(AdbBridge::AdbError::Kind)

namespace {

const QString noDeviceText = QStringLiteral("未检测到安卓设备：请确认数据线已连接、手机已开启「开发者选项 → USB 调试」。");

QStringList joined(const QList<QStringList>& calls)
{
    QStringList lines;
    for (const QStringList& call : calls)
        lines << call.join(QLatin1Char(' '));
    return lines;
}

// The create commands among the fake's calls.
QStringList createCalls(const FakeAdbState& fake)
{
    QStringList creates;
    for (const QString& call : joined(fake.calls())) {
        if (call.startsWith(QLatin1String("-s ")) && !call.contains(QLatin1String("--")))
            creates << call;
    }
    return creates;
}

} // namespace

// AdbBridge against zorvane-fake-adb: the runner's limits and streams, the device listing and its
// retry, and how a forward is created, checked and refused.
class AdbBridgeTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeAdbState> m_fake;

private slots:
    void initTestCase()
    {
        if (FakeAdbState::binaryPath().isEmpty())
            QFAIL("ZORVANE_FAKE_ADB_BIN is not set");
    }

    void init()
    {
        m_fake = std::make_unique<FakeAdbState>();
        m_fake->useAsAdb();
    }

    void cleanup()
    {
        m_fake.reset(); // stops its relays
        qunsetenv("APP_SANDBOX_CONTAINER_ID");
    }

    // ---- the runner

    void runCapturesStatusAndStreams_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("failure on both streams") << 3 << "partial\n" << "adb: error: boom\n";
        QTest::newRow("stderr only") << 0 << "" << "* daemon started successfully\n";
        QTest::newRow("UTF-8 text") << 0 << "型号：测试机\n" << "";
    }

    void runCapturesStatusAndStreams()
    {
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        m_fake->setBehaviour("*", Behaviour::failing(status, err, out));
        AdbBridge bridge(quickTimeouts());
        const AdbBridge::RunResult result = bridge.run(FakeAdbState::binaryPath(), {"devices", "-l"}, 5s);
        QCOMPARE(result.status, status);
        QCOMPARE(result.standardOutput, out);
        QCOMPARE(result.standardError, err);
    }

    void invalidUtf8GivesAnEmptyText()
    {
        AdbBridge bridge(quickTimeouts());
        const AdbBridge::RunResult result =
            bridge.run("/bin/sh", {"-c", "printf 'ab\\377cd'; printf 'fine' >&2; exit 4"}, 5s);
        QCOMPARE(result.status, 4);
        QCOMPARE(result.standardOutput, QString());
        QCOMPARE(result.standardError, QString("fine"));
    }

    // adb's trace switch would mix its log into the listings; HOME is where it keeps its keys.
    void runEnvironmentDropsTraceAndSetsHome()
    {
        const QByteArray home = qgetenv("HOME");
        qputenv("ADB_TRACE", "all");
        qputenv("ZORVANE_ADB_TEST_MARK", "kept");
        AdbBridge bridge(quickTimeouts());
        const AdbBridge::RunResult withHome = bridge.run("/usr/bin/env", {}, 5s);
        qunsetenv("HOME");
        const AdbBridge::RunResult withoutHome = bridge.run("/usr/bin/env", {}, 5s);
        qputenv("HOME", home);
        qunsetenv("ADB_TRACE");
        qunsetenv("ZORVANE_ADB_TEST_MARK");

        const QStringList lines = withHome.standardOutput.split('\n');
        QVERIFY(lines.contains("ZORVANE_ADB_TEST_MARK=kept"));
        QVERIFY(lines.contains("HOME=" + QDir::homePath()));
        QVERIFY(!withHome.standardOutput.contains("ADB_TRACE"));
        // Without HOME adb would not find its keys at all; it still gets one.
        QVERIFY(withoutHome.standardOutput.split('\n').filter(QRegularExpression("^HOME=.+")).size() == 1);
    }

    void hungToolIsGivenUpInTime_data()
    {
        QTest::addColumn<bool>("ignoresTerminate");
        QTest::newRow("ends on the terminate request") << false;
        QTest::newRow("ignores the terminate request") << true;
    }

    void hungToolIsGivenUpInTime()
    {
        QFETCH(bool, ignoresTerminate);
        m_fake->setBehaviour("*", ignoresTerminate ? Behaviour::hanging() : Behaviour::slow(120'000));
        const auto limit = 800ms;
        const auto afterLimit = 700ms;
        AdbBridge bridge(quickTimeouts(limit, afterLimit));
        QElapsedTimer clock;
        clock.start();
        const AdbBridge::RunResult result = bridge.run(FakeAdbState::binaryPath(), {"devices", "-l"}, limit);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= limit.count(), qPrintable(QString::number(elapsed)));
        // A little room for a busy machine on top of the two waits.
        QVERIFY2(elapsed < (limit + afterLimit + 600ms).count(), qPrintable(QString::number(elapsed)));
        QCOMPARE(result.status, ignoresTerminate ? -1 : SIGTERM);
        QCOMPARE(result.standardOutput, QString());
    }

    void missingToolGivesTheLaunchError()
    {
        const QString missing = QDir::temp().filePath("zorvane-no-such-adb/adb");
        QProcess reference;
        reference.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        reference.start(missing, {});
        QVERIFY(!reference.waitForStarted());

        AdbBridge bridge(quickTimeouts());
        const AdbBridge::RunResult result = bridge.run(missing, {"devices"}, 5s);
        QCOMPARE(result.status, -1);
        QCOMPARE(result.standardOutput, QString());
        QVERIFY(!result.standardError.isEmpty());
        QCOMPARE(result.standardError, reference.errorString());
    }

    // Only one adb at a time: two callers on two threads queue behind each other.
    void runsFromTwoThreadsTakeTurns()
    {
        m_fake->setBehaviour("*", Behaviour::slow(600));
        AdbBridge bridge(quickTimeouts());
        QElapsedTimer clock;
        clock.start();
        auto first = QtConcurrent::run([&] { return bridge.run(FakeAdbState::binaryPath(), {"devices"}, 5s); });
        auto second = QtConcurrent::run([&] { return bridge.run(FakeAdbState::binaryPath(), {"devices"}, 5s); });
        QCOMPARE(first.result().status, 0);
        QCOMPARE(second.result().status, 0);
        QVERIFY2(clock.elapsed() >= 1200, qPrintable(QString::number(clock.elapsed())));
    }

    // ---- the device listing

    void listsUsbDevicesAndStartsTheServerOnce()
    {
        m_fake->setDevices({{"emulator-5554", "device", "Android_SDK_built_for_x86"},
                            {"0123456789ABCDEF", "no permissions"},
                            {"192.168.1.20:5555", "device", "Pixel_7"},
                            {"R58M", "unauthorized"}});
        AdbBridge bridge(quickTimeouts());
        const QList<AdbBridge::Device> expected{
            {"emulator-5554", "Android SDK built for x86", AdbBridge::DeviceState::ready},
            {"0123456789ABCDEF", "", AdbBridge::DeviceState::noPermissions},
            {"R58M", "", AdbBridge::DeviceState::unauthorized}};
        QCOMPARE(bridge.listDevices(), expected);
        QCOMPARE(bridge.listDevices(), expected);
        QCOMPARE(joined(m_fake->calls()), QStringList({"start-server", "devices -l", "devices -l"}));
    }

    void failedListingRestartsTheServerOnce_data()
    {
        QTest::addColumn<Behaviour>("listing");
        QTest::addColumn<QString>("error"); // empty: the devices come back
        QTest::newRow("fails once") << Behaviour{.exitStatus = 1, .standardError = "error: protocol fault\n", .times = 1}
                                    << "";
        QTest::newRow("fails twice with a message")
            << Behaviour::failing(1, "adb: error: failed to check server version\n")
            << "adb: error: failed to check server version\n";
        QTest::newRow("fails twice silently") << Behaviour::failing(1) << "adb devices 执行失败";
        QTest::newRow("hangs twice") << Behaviour::hanging() << "adb devices 执行失败";
        QTest::newRow("output but a failing status")
            << Behaviour::failing(255, "", "List of devices attached\nABC device\n") << "adb devices 执行失败";
    }

    void failedListingRestartsTheServerOnce()
    {
        QFETCH(Behaviour, listing);
        QFETCH(QString, error);
        m_fake->setDevices({{"ABC", "device", "Pixel_7"}});
        m_fake->setBehaviour("devices -l", listing);
        AdbBridge bridge(quickTimeouts(600ms, 300ms));
        QList<AdbBridge::Device> devices;
        const auto caught = adbErrorOf([&] { devices = bridge.listDevices(); });
        if (error.isEmpty()) {
            QVERIFY(!caught);
            QCOMPARE(devices, QList<AdbBridge::Device>({{"ABC", "Pixel 7", AdbBridge::DeviceState::ready}}));
        } else {
            QVERIFY(caught);
            QCOMPARE(caught->kind, Kind::commandFailed);
            QCOMPARE(caught->description, error);
        }
        QCOMPARE(joined(m_fake->calls()), QStringList({"start-server", "devices -l", "start-server", "devices -l"}));
    }

    // ---- forwards

    void preferredPortIsUsedWhenFree()
    {
        m_fake->setDevices({{"ABC", "device", "Pixel_7"}});
        const quint16 preferred = AdbBridge::freeLocalPort().value();
        AdbBridge bridge(quickTimeouts());
        QCOMPARE(bridge.createForward("ABC", AdbBridge::phoneAppPort, preferred), preferred);
        QCOMPARE(createCalls(*m_fake), QStringList({QString("-s ABC forward tcp:%1 tcp:8765").arg(preferred)}));
        QCOMPARE(joined(m_fake->calls()).mid(0, 2), QStringList({"start-server", "devices -l"}));
        QVERIFY(bridge.hasForward("ABC", preferred));
    }

    void takenPreferredPortFallsToAFreeOne()
    {
        m_fake->setDevices({{"ABC", "device", "Pixel_7"}});
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::LocalHost));
        const quint16 taken = squatter.serverPort();
        AdbBridge bridge(quickTimeouts());
        const quint16 used = bridge.createForward("ABC", AdbBridge::phoneAppPort, taken);
        QVERIFY(used != taken);
        QCOMPARE(createCalls(*m_fake), QStringList({QString("-s ABC forward tcp:%1 tcp:8765").arg(taken),
                                                    QString("-s ABC forward tcp:%1 tcp:8765").arg(used)}));
        QVERIFY(bridge.hasForward("ABC", used));
        QVERIFY(!bridge.hasForward("ABC", taken));
    }

    void everyCandidateRefused_data()
    {
        QTest::addColumn<Behaviour>("refusal");
        QTest::addColumn<QString>("error");
        QTest::newRow("nothing printed") << Behaviour::failing(1) << "adb forward 建立失败";
        QTest::newRow("adb's error")
            << Behaviour::failing(1, "adb: error: cannot bind listener: Address already in use\n")
            << "adb: error: cannot bind listener: Address already in use\n";
        QTest::newRow("text on stdout only") << Behaviour::failing(1, "", "error: closed\n") << "error: closed\n";
    }

    void everyCandidateRefused()
    {
        QFETCH(Behaviour, refusal);
        QFETCH(QString, error);
        m_fake->setDevices({{"ABC", "device", "Pixel_7"}});
        m_fake->setBehaviour("forward", refusal);
        AdbBridge bridge(quickTimeouts());
        const auto caught = adbErrorOf([&] { bridge.createForward("ABC", AdbBridge::phoneAppPort, 40000); });
        QVERIFY(caught);
        QCOMPARE(caught->kind, Kind::commandFailed);
        QCOMPARE(caught->description, error);
        // The preferred port first, then fresh ones, none twice; a handful in all.
        const QStringList creates = createCalls(*m_fake);
        QCOMPARE(creates.value(0), QString("-s ABC forward tcp:40000 tcp:8765"));
        QCOMPARE(QSet<QString>(creates.begin(), creates.end()).size(), creates.size());
        QCOMPARE(creates.size(), 6);
    }

    void deviceMustBeReady_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("state"); // empty: the fake lists only another device
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("description");
        QTest::newRow("unauthorized") << "ABC" << "unauthorized" << Kind::unauthorized
                                      << "手机尚未授权此电脑：请在手机上点「允许 USB 调试」并勾选「一律允许」，然后重试。";
        QTest::newRow("offline") << "ABC" << "offline" << Kind::offline
                                 << "安卓设备当前离线：请重新插拔数据线，并确认手机已解锁。";
        QTest::newRow("no permissions") << "ABC" << "no permissions" << Kind::commandFailed
                                        << "安卓设备状态异常：no permissions";
        QTest::newRow("unknown state word") << "ABC" << "recovery" << Kind::commandFailed
                                            << "安卓设备状态异常：unknown";
        QTest::newRow("not attached") << "ABC" << "" << Kind::noDevice << noDeviceText;
        QTest::newRow("on the network, not the cable")
            << "192.168.1.20:5555" << "device" << Kind::noDevice << noDeviceText;
    }

    void deviceMustBeReady()
    {
        QFETCH(QString, serial);
        QFETCH(QString, state);
        QFETCH(Kind, kind);
        QFETCH(QString, description);
        QList<FakeAdbState::Device> devices{{"OTHER", "device", "Pixel_7"}};
        if (!state.isEmpty())
            devices.append({serial, state, "Pixel_8"});
        m_fake->setDevices(devices);
        AdbBridge bridge(quickTimeouts());
        const auto caught = adbErrorOf([&] { bridge.createForward(serial, AdbBridge::phoneAppPort, std::nullopt); });
        QVERIFY(caught);
        QCOMPARE(caught->kind, kind);
        QCOMPARE(caught->description, description);
        QCOMPARE(createCalls(*m_fake), QStringList());
    }

    void listingFailureIsTheCreateFailure()
    {
        m_fake->setDevices({{"ABC", "device", "Pixel_7"}});
        m_fake->setBehaviour("devices", Behaviour::failing(1, "adb: error: protocol fault\n"));
        AdbBridge bridge(quickTimeouts());
        const auto caught = adbErrorOf([&] { bridge.createForward("ABC", AdbBridge::phoneAppPort, std::nullopt); });
        QVERIFY(caught);
        QCOMPARE(caught->kind, Kind::commandFailed);
        QCOMPARE(caught->description, QString("adb: error: protocol fault\n"));
    }

    void hasForwardMatchesSerialAndLocalPort_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("found");
        QTest::newRow("another remote port still counts") << 0 << "ABC" << 5000 << true;
        QTest::newRow("second line") << 0 << "XYZ" << 5001 << true;
        QTest::newRow("another serial") << 0 << "ABD" << 5000 << false;
        QTest::newRow("another local port") << 0 << "ABC" << 5001 << false;
        QTest::newRow("listing failed") << 1 << "ABC" << 5000 << false;
    }

    void hasForwardMatchesSerialAndLocalPort()
    {
        QFETCH(int, status);
        QFETCH(QString, serial);
        QFETCH(int, port);
        QFETCH(bool, found);
        m_fake->setBehaviour("forward --list",
                             Behaviour::failing(status, "", "ABC tcp:5000 tcp:1234\nXYZ tcp:5001 tcp:8765\n"));
        AdbBridge bridge(quickTimeouts());
        QCOMPARE(bridge.hasForward(serial, quint16(port)), found);
    }

    // ---- a sandboxed build

    void sandboxRefusesBeforeRunning_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("with a value") << QByteArray("com.zorvane.app");
        QTest::newRow("empty") << QByteArray();
    }

    void sandboxRefusesBeforeRunning()
    {
        QFETCH(QByteArray, value);
        m_fake->setDevices({{"ABC", "device", "Pixel_7"}});
        qputenv("APP_SANDBOX_CONTAINER_ID", value);
        QVERIFY(AdbBridge::isSandboxed());
        const QString sandboxText =
            "当前是 Mac App Store 沙盒构建，无法启动 adb。安卓数据线传输仅支持官网下载的非沙盒版本。";
        AdbBridge bridge(quickTimeouts());
        for (const auto& operation : std::initializer_list<std::function<void()>>{
                 [&] { bridge.listDevices(); },
                 [&] { bridge.createForward("ABC", AdbBridge::phoneAppPort, 40000); }}) {
            const auto caught = adbErrorOf(operation);
            QVERIFY(caught);
            QCOMPARE(caught->kind, Kind::sandboxed);
            QCOMPARE(caught->description, sandboxText);
        }
        QCOMPARE(m_fake->calls(), QList<QStringList>());
        // Listing and removing forwards try the tool as usual.
        QVERIFY(!bridge.hasForward("ABC", 40000));
        bridge.removeForward("ABC", 40000);
        QCOMPARE(joined(m_fake->calls()), QStringList({"forward --list", "-s ABC forward --remove tcp:40000"}));
    }
};

QTEST_GUILESS_MAIN(AdbBridgeTest)
#include "tst_adbbridge.moc"
