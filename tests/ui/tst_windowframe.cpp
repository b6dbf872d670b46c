// The window's frame as the user sees it: the status pill, the divider between the panes, and
// which phones each connection menu offers.
#include "fakeadbstate.h"
#include "phoneprocess.h"
#include "scopedsettings.h"
#include "taskrunner.h"
#include "windowdriver.h"

#include "adb/adbbridge.h"
#include "ui/textformatter.h"

#include <QSettings>
#include <QTest>

using namespace windowdriver;

namespace {

WiFiDeviceInfo foundPhone(const QString& name, bool onUSB, bool onlyUSB)
{
    WiFiDeviceInfo info;
    info.id = name;
    info.name = name;
    info.endpoint = NetworkEndpoint::service(name, WiFiTransport::serviceType(), QStringLiteral("local"));
    info.isUSB = onUSB;
    if (onUSB)
        info.usbInterface = QStringLiteral("usb0");
    info.usbOnly = onlyUSB;
    return info;
}

bool lineIs(const QList<QPair<QString, bool>>& lines, const QString& text, bool enabled)
{
    return lines.contains(qMakePair(text, enabled));
}

} // namespace

class WindowFrameTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings().clear();
    }

    void statusPillFollowsThePhone_data()
    {
        QTest::addColumn<QString>("storageFree");
        QTest::addColumn<QString>("subtitle");
        QTest::newRow("free space known")
            << "5000000000" << "iOS 17.5 · 可用 " + TextFormatter().fileSize(5'000'000'000);
        QTest::newRow("no free space") << "0" << "iOS 17.5";
    }

    void statusPillFollowsThePhone()
    {
        QFETCH(QString, storageFree);
        QFETCH(QString, subtitle);
        PhoneProcess phone;
        QVERIFY2(phone.start({"--name", "演示手机", "--system-version", "iOS 17.5", "--storage-free", storageFree}),
                 qPrintable(phone.errorText()));
        OpenWindow w;
        QVERIFY(w.open());
        auto* title = named(w.root(), "pillTitle");
        auto* second = named(w.root(), "pillSubtitle");
        QCOMPARE(title->property("text").toString(), QStringLiteral("未连接 iPhone / Android"));
        QCOMPARE(second->property("text").toString(), QStringLiteral("用右上角菜单连接手机"));

        QVERIFY(runTask(w.viewModel.connectByAddress(phone.host(), phone.port(), std::nullopt)));
        QTRY_COMPARE(title->property("text").toString(), QStringLiteral("演示手机"));
        QCOMPARE(second->property("text").toString(), subtitle);
        // Nothing of it is cut off.
        auto* pill = named(w.root(), "statusPill");
        QVERIFY(pill->width() >= second->width() + 20);

        w.viewModel.disconnectWiFi();
        QTRY_COMPARE(title->property("text").toString(), QStringLiteral("未连接 iPhone / Android"));
    }

    void theDividerSharesThePaneArea()
    {
        OpenWindow w;
        QVERIFY(w.open(QSize(1000, 700)));
        QTRY_COMPARE(w.window->width(), 1000);
        auto* content = named(w.root(), "contentView");
        auto* left = named(w.root(), "macPane");
        auto* handle = named(w.root(), "splitHandle");
        QCOMPARE(content->width(), 1000.0);
        QCOMPARE(left->width(), 496.0);
        content->setProperty("splitRatio", 0.75);
        QCOMPARE(left->width(), 660.0);
        content->setProperty("splitRatio", 0.5);

        // Dragged: the ratio follows the pointer within 0.25 to 0.75.
        struct Drag
        {
            int toX;
            double ratio;
            double leftWidth;
        };
        const Drag drags[] = {{5, 0.25, 300.0}, {995, 0.75, 660.0}, {600, 0.6, 596.0}};
        for (const Drag& drag : drags) {
            const QPoint grip = handle->mapToScene(QPointF(handle->width() / 2, handle->height() / 2)).toPoint();
            QTest::mousePress(w.window, Qt::LeftButton, {}, grip);
            QTest::mouseMove(w.window, grip + QPoint(drag.toX > grip.x() ? 3 : -3, 0));
            QTest::mouseMove(w.window, QPoint(drag.toX, grip.y()));
            QTest::mouseRelease(w.window, Qt::LeftButton, {}, QPoint(drag.toX, grip.y()));
            QCOMPARE(content->property("splitRatio").toDouble(), drag.ratio);
            QCOMPARE(left->width(), drag.leftWidth);
        }
    }

    // Each phone is offered on the links it was seen on; an Android device that has not allowed
    // USB debugging is shown but cannot be chosen.
    void eachMenuOffersThePhonesOfItsLinks()
    {
        FakeAdbState adb;
        adb.useAsAdb();
        adb.setDevices({{"R58N31", "unauthorized", "", 0}, {"emulator-5554", "device", "Pixel_8", 0}});
        AdbBridge bridge;
        OpenWindow w;
        w.viewModel.setAdbBridge(bridge);
        QVERIFY(w.open());
        w.viewModel.wifiTransport().onDevicesChanged({foundPhone("客厅的手机", false, false),
                                                      foundPhone("我的 iPhone", true, false),
                                                      foundPhone("车里的 iPhone", true, true)});
        w.viewModel.startAdbWatching();
        QTRY_COMPARE(w.viewModel.wifiDevices().size(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(w.viewModel.adbDevices().size(), 2, 5000);

        const auto wifi = openMenu(w, "wifiMenuButton", "wifiMenu");
        QVERIFY2(lineIs(wifi, "客厅的手机", true) && lineIs(wifi, "我的 iPhone", true), qPrintable(texts(wifi).join('|')));
        QVERIFY(!texts(wifi).contains("车里的 iPhone"));
        QVERIFY(!texts(wifi).contains("未发现设备。请确认："));
        QMetaObject::invokeMethod(named<QObject>(w.root(), "wifiMenu"), "close");

        const auto usb = openMenu(w, "usbMenuButton", "usbMenu");
        const QStringList shown = texts(usb);
        QVERIFY2(lineIs(usb, "我的 iPhone", true) && lineIs(usb, "车里的 iPhone", true), qPrintable(shown.join('|')));
        QVERIFY(!shown.contains("客厅的手机"));
        QVERIFY(!shown.contains("未发现经数据线连接的设备。请确认："));
        QVERIFY2(lineIs(usb, "R58N31（未授权 USB 调试）", false) && lineIs(usb, "Pixel 8", true), qPrintable(shown.join('|')));
        // The iPhones first, then the Android section.
        QVERIFY(shown.indexOf("车里的 iPhone") < shown.indexOf("安卓 · USB 数据线"));
        QVERIFY(shown.indexOf("安卓 · USB 数据线") < shown.indexOf("Pixel 8"));
        QVERIFY(!shown.contains("断开 USB 连接"));
    }

    void aCableConnectionIsEndedFromTheUsbMenu()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--platform", "android", "--name", "Galaxy"}), qPrintable(phone.errorText()));
        FakeAdbState adb;
        adb.useAsAdb();
        adb.setDevices({{"R58N31", "device", "Galaxy_S21", phone.port()}});
        AdbBridge bridge;
        OpenWindow w;
        w.viewModel.setAdbBridge(bridge);
        QVERIFY(w.open());
        const AdbBridge::Device listed{"R58N31", "Galaxy S21", AdbBridge::DeviceState::ready};
        QVERIFY(runTask(w.viewModel.connectAndroidDevice(listed, std::nullopt)));

        QVERIFY(!texts(openMenu(w, "wifiMenuButton", "wifiMenu")).contains("断开连接"));
        QMetaObject::invokeMethod(named<QObject>(w.root(), "wifiMenu"), "close");
        QObject* usbMenu = named<QObject>(w.root(), "usbMenu");
        QVERIFY(texts(openMenu(w, "usbMenuButton", "usbMenu")).contains("断开 USB 连接"));
        click(w.window, menuEntry(usbMenu, "断开 USB 连接"));
        QTRY_VERIFY(!w.viewModel.device());
        QTRY_VERIFY(adb.forwards().isEmpty());
        QTRY_COMPARE(named(w.root(), "pillTitle")->property("text").toString(), QStringLiteral("未连接 iPhone / Android"));
    }

private:
    ScopedSettings m_settings;
};

QTEST_MAIN(WindowFrameTest)
#include "tst_windowframe.moc"
