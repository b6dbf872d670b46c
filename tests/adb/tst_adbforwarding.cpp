#include "adbtesthelpers.h"
#include "fakeadbstate.h"
#include "phoneprocess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTcpSocket>
#include <QTest>

using namespace std::chrono_literals;

namespace {

// One plain HTTP GET through 127.0.0.1:port; the whole answer, or nothing.
QByteArray fetch(quint16 port, const QByteArray& path)
{
    QTcpSocket socket;
    socket.connectToHost(AdbBridge::tunnelHost(), port);
    if (!socket.waitForConnected(3000))
        return {};
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState) {
        if (socket.waitForReadyRead(int(deadline.remainingTime())))
            answer += socket.readAll();
    }
    return answer + socket.readAll();
}

// True once nothing accepts on the port any more.
bool portClosesSoon(quint16 port)
{
    const QDeadlineTimer deadline(3000);
    while (!deadline.hasExpired()) {
        QTcpSocket socket;
        socket.connectToHost(AdbBridge::tunnelHost(), port);
        if (!socket.waitForConnected(1000) && socket.error() == QAbstractSocket::ConnectionRefusedError)
            return true;
        QTest::qWait(50);
    }
    return false;
}

} // namespace

// A forward made through the fake adb carries the phone's HTTP traffic, and goes away when
// removed or dropped.
class AdbForwardingTest : public QObject
{
    Q_OBJECT

    PhoneProcess m_phone;
    std::unique_ptr<FakeAdbState> m_fake;

private slots:
    void initTestCase()
    {
        if (FakeAdbState::binaryPath().isEmpty())
            QFAIL("ZORVANE_FAKE_ADB_BIN is not set");
        QVERIFY2(m_phone.start({"--name", "数据线手机"}), qPrintable(m_phone.errorText()));
    }

    void init()
    {
        m_fake = std::make_unique<FakeAdbState>();
        m_fake->useAsAdb();
        m_fake->setDevices({{"ABC", "device", "Pixel_7", m_phone.port()}});
    }

    void cleanup()
    {
        m_fake->stopAllRelays();
        m_fake.reset();
    }

    void forwardCarriesThePhonesHttpUntilRemoved()
    {
        AdbBridge bridge(quickTimeouts());
        const quint16 port = bridge.createForward("ABC", AdbBridge::phoneAppPort, std::nullopt);
        QVERIFY(bridge.hasForward("ABC", port));
        QCOMPARE(bridge.listForwards(), QList<AdbBridge::Forward>({{"ABC", port, AdbBridge::phoneAppPort}}));

        const QByteArray answer = fetch(port, "/info");
        QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.constData());
        QVERIFY2(answer.contains("数据线手机"), answer.constData());

        bridge.removeForward("ABC", port);
        QVERIFY(portClosesSoon(port));
        QVERIFY(!bridge.hasForward("ABC", port));
        QCOMPARE(bridge.listForwards(), QList<AdbBridge::Forward>());
    }

    // The app checks its forward now and then and repairs it on the same port.
    void droppedForwardIsSeenAndMadeAgain()
    {
        AdbBridge bridge(quickTimeouts());
        const quint16 port = bridge.createForward("ABC", AdbBridge::phoneAppPort, std::nullopt);
        QVERIFY(m_fake->dropForward(port));
        QVERIFY(portClosesSoon(port));
        QVERIFY(!bridge.hasForward("ABC", port));

        QCOMPARE(bridge.createForward("ABC", AdbBridge::phoneAppPort, port), port);
        QVERIFY(bridge.hasForward("ABC", port));
        QVERIFY(fetch(port, "/info").startsWith("HTTP/1.1 200"));
    }

    // A test that ends without tidying up leaves no relay behind once its folder is gone.
    void relayEndsWithItsStateFolder()
    {
        AdbBridge bridge(quickTimeouts());
        const quint16 port = bridge.createForward("ABC", AdbBridge::phoneAppPort, std::nullopt);
        QVERIFY(fetch(port, "/info").startsWith("HTTP/1.1 200"));
        QVERIFY(QDir(m_fake->folder()).removeRecursively());
        QVERIFY(portClosesSoon(port));
    }

    void forwardToAnotherPhonePortReachesNothing()
    {
        AdbBridge bridge(quickTimeouts());
        const quint16 port = bridge.createForward("ABC", 9999, std::nullopt);
        QCOMPARE(fetch(port, "/info"), QByteArray());
    }
};

QTEST_GUILESS_MAIN(AdbForwardingTest)
#include "tst_adbforwarding.moc"
