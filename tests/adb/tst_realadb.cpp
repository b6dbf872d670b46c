#include "adbtesthelpers.h"

#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

namespace {

const QString realAdb = QStringLiteral("/usr/bin/adb");

// adb's server listens on this port while it runs.
bool serverRunning()
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), 5037);
    return socket.waitForConnected(1000);
}

} // namespace

// Debian's adb with no phone attached: the bridge starts its server, lists nothing and refuses a
// forward to a phone that is not there.
class RealAdbTest : public QObject
{
    Q_OBJECT

    bool m_serverWasRunning = false;

private slots:
    void initTestCase()
    {
        if (!QFileInfo(realAdb).isExecutable())
            QSKIP("/usr/bin/adb is absent: install Debian's adb package (scripts/install-deps.sh)");
        m_serverWasRunning = serverRunning();
        qputenv("ZORVANE_ADB", realAdb.toLocal8Bit());
    }

    void cleanupTestCase()
    {
        // Stop only a server this test started.
        if (!m_serverWasRunning && QFileInfo(realAdb).isExecutable())
            QProcess::execute(realAdb, {QStringLiteral("kill-server")});
        qunsetenv("ZORVANE_ADB");
    }

    void noPhoneListsNothing()
    {
        AdbBridge bridge;
        QCOMPARE(bridge.locateBinary(), std::optional<QString>(realAdb));
        QCOMPARE(bridge.listDevices(), QList<AdbBridge::Device>());
        QVERIFY(serverRunning());
        QCOMPARE(bridge.listForwards(), QList<AdbBridge::Forward>());
    }

    void missingPhoneCannotBeForwardedTo()
    {
        AdbBridge bridge;
        const auto caught = adbErrorOf(
            [&] { bridge.createForward(QStringLiteral("ZORVANE0MISSING"), AdbBridge::phoneAppPort, std::nullopt); });
        QVERIFY(caught);
        QCOMPARE(caught->kind, AdbBridge::AdbError::Kind::noDevice);
        QCOMPARE(caught->description,
                 QString("未检测到安卓设备：请确认数据线已连接、手机已开启「开发者选项 → USB 调试」。"));
        QVERIFY(!bridge.hasForward(QStringLiteral("ZORVANE0MISSING"), 5000));
    }
};

QTEST_GUILESS_MAIN(RealAdbTest)
#include "tst_realadb.moc"
