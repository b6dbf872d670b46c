#include "adb/adbbridge.h"

#include <QTest>

// What the app reads out of adb's listings: which lines are devices or forwards, and which are not.
class AdbParsingTest : public QObject
{
    Q_OBJECT

    static QStringList render(const QList<AdbBridge::Device>& devices)
    {
        QStringList lines;
        for (const AdbBridge::Device& device : devices)
            lines << device.serial + QLatin1Char('|') + device.model + QLatin1Char('|') + AdbBridge::rawValue(device.state);
        return lines;
    }

    static QStringList render(const QList<AdbBridge::Forward>& forwards)
    {
        QStringList lines;
        for (const AdbBridge::Forward& forward : forwards)
            lines << QStringLiteral("%1|%2|%3").arg(forward.serial).arg(forward.localPort).arg(forward.remotePort);
        return lines;
    }

private slots:
    void deviceListing_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<QStringList>("devices"); // serial|model|state word
        QTest::newRow("emulator with a model")
            << "List of devices attached\n"
               "emulator-5554          device product:sdk model:Android_SDK_built_for_x86 device:generic transport_id:1\n\n"
            << QStringList{"emulator-5554|Android SDK built for x86|device"};
        QTest::newRow("no permissions")
            << "0123456789ABCDEF       no permissions (user in plugdev group; are your udev rules wrong?); "
               "see [http://developer.android.com/tools/device.html] usb:1-1 transport_id:2\n"
            << QStringList{"0123456789ABCDEF||no permissions"};
        QTest::newRow("\"no\" without permissions is no state")
            << "0123456789ABCDEF no device transport_id:2" << QStringList{"0123456789ABCDEF||unknown"};
        QTest::newRow("network device skipped")
            << "192.168.1.20:5555      device product:x model:Pixel_7 device:y transport_id:3\n"
               "R58M123               device model:Galaxy_S10 transport_id:4\n"
            << QStringList{"R58M123|Galaxy S10|device"};
        QTest::newRow("header, daemon lines, blank lines")
            << "* daemon not running; starting now at tcp:5037\n* daemon started successfully\n"
               "List of devices attached\n\n   \n"
            << QStringList{};
        QTest::newRow("unknown state word") << "ABC recovery usb:1-1 transport_id:4" << QStringList{"ABC||unknown"};
        QTest::newRow("tab-separated line skipped") << "ABC\tdevice\n" << QStringList{};
        QTest::newRow("last model: wins")
            << "ABC device model:First model:Second_One transport_id:1" << QStringList{"ABC|Second One|device"};
        QTest::newRow("every state, adb's order, CRLF and CR line ends")
            << "List of devices attached\r\nC unauthorized usb:1-1 transport_id:1\r\n"
               "B offline transport_id:2\rA device model:X transport_id:3\n"
            << QStringList{"C||unauthorized", "B||offline", "A|X|device"};
        QTest::newRow("serial alone") << "ABC\n" << QStringList{};
    }

    void deviceListing()
    {
        QFETCH(QString, listing);
        QFETCH(QStringList, devices);
        QCOMPARE(render(AdbBridge::parseDevices(listing)), devices);
    }

    void forwardListing_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<QStringList>("forwards"); // serial|local|remote
        QTest::newRow("tcp forward beside an abstract socket")
            << "ABC tcp:41234 tcp:8765\nABC localabstract:foo tcp:1\n" << QStringList{"ABC|41234|8765"};
        QTest::newRow("tcp: without digits") << "ABC tcp: tcp:8765\n" << QStringList{};
        QTest::newRow("port past 16 bits") << "ABC tcp:70000 tcp:8765\n" << QStringList{};
        QTest::newRow("remote port not a number") << "ABC tcp:5000 tcp:87a\n" << QStringList{};
        QTest::newRow("signed number") << "ABC tcp:+5000 tcp:8765\n" << QStringList{};
        QTest::newRow("two tokens") << "ABC tcp:5000\n" << QStringList{};
        QTest::newRow("spacing, CRLF, limits, order kept")
            << "  B   tcp:65535 tcp:0 \r\n\r\nA tcp:1 tcp:8765\n" << QStringList{"B|65535|0", "A|1|8765"};
    }

    void forwardListing()
    {
        QFETCH(QString, listing);
        QFETCH(QStringList, forwards);
        QCOMPARE(render(AdbBridge::parseForwards(listing)), forwards);
    }
};

QTEST_GUILESS_MAIN(AdbParsingTest)
#include "tst_adbparsing.moc"
