// The window's connection controls used as a user would: the WiFi and USB menus, the pairing
// sheet and the address card, against the phone stand-in.
#include "phoneprocess.h"
#include "scopedsettings.h"
#include "taskrunner.h"
#include "windowdriver.h"

#include <QSettings>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

namespace {

const QString wrongCodeText = QStringLiteral("配对码不正确，请核对手机上「连接管理」里显示的 6 位数字");

} // namespace

using namespace windowdriver;

class ConnectionUiTest : public QObject
{
    Q_OBJECT

private:
    using Window = OpenWindow;

private slots:
    void init()
    {
        QSettings().clear();
    }

    void thePairingSheetGatesTheCodeAndConnects()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--pairing-code", "482915"}), qPrintable(phone.errorText()));
        Window w;
        QVERIFY(w.open());
        QVERIFY(!runTask(w.viewModel.connectByAddress(phone.host(), phone.port(), std::nullopt)));
        QObject* sheet = named<QObject>(w.root(), "pairingSheet");
        QVERIFY(sheet);
        QTRY_VERIFY(sheet->property("opened").toBool());
        auto* field = named(w.root(), "pairingCodeField");
        auto* connectButton = named(w.root(), "pairingConnectButton");
        QVERIFY(field && connectButton);

        field->forceActiveFocus();
        type(w.window, "48291");
        QCOMPARE(field->property("text").toString(), QStringLiteral("48291"));
        QVERIFY(!connectButton->isEnabled());
        // A wrong code: the phone's refusal under the field, the sheet still open.
        field->setProperty("text", QStringLiteral("000000"));
        QVERIFY(connectButton->isEnabled());
        click(w.window, connectButton);
        auto* error = named(w.root(), "pairingError");
        QTRY_COMPARE(error->property("text").toString(), wrongCodeText);
        QVERIFY(error->isVisible());
        QVERIFY(sheet->property("opened").toBool());

        // The right code typed with blanks around it is sent trimmed; Return submits.
        field->setProperty("text", QString());
        field->forceActiveFocus();
        type(w.window, " 482915 ");
        field->setProperty("text", field->property("text").toString() + "\t");
        QTest::keyClick(w.window, Qt::Key_Return);
        QTRY_VERIFY(w.viewModel.device().has_value());
        QTRY_VERIFY(!sheet->property("opened").toBool());
        QVERIFY(!w.viewModel.pairingPrompt());
    }

    void cancellingTheSheetDropsThePrompt()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--pairing-code", "482915"}), qPrintable(phone.errorText()));
        Window w;
        QVERIFY(w.open());
        runTask(w.viewModel.connectByAddress(phone.host(), phone.port(), std::nullopt));
        QObject* sheet = named<QObject>(w.root(), "pairingSheet");
        QTRY_VERIFY(sheet->property("opened").toBool());
        QTest::keyClick(w.window, Qt::Key_Escape);
        QTRY_VERIFY(!sheet->property("opened").toBool());
        QVERIFY(!w.viewModel.pairingPrompt());
        QVERIFY(!w.viewModel.device());
    }

    void theMenusFollowTheConnection()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--name", "演示手机"}), qPrintable(phone.errorText()));
        Window w;
        QVERIFY(w.open());
        QObject* wifiMenu = named<QObject>(w.root(), "wifiMenu");
        QObject* usbMenu = named<QObject>(w.root(), "usbMenu");

        // Nothing found yet: the empty-state lines, no disconnect entry.
        click(w.window, named(w.root(), "wifiMenuButton"));
        QTRY_VERIFY(wifiMenu->property("opened").toBool());
        QStringList shown = texts(menuLines(wifiMenu));
        QVERIFY2(shown.contains("未发现设备。请确认：") && shown.contains("2. 两端在同一 WiFi 下"), qPrintable(shown.join('|')));
        QVERIFY(!shown.contains("断开连接"));
        QMetaObject::invokeMethod(wifiMenu, "close");

        QVERIFY(runTask(w.viewModel.connectByAddress(phone.host(), phone.port(), std::nullopt)));
        click(w.window, named(w.root(), "wifiMenuButton"));
        QTRY_VERIFY(wifiMenu->property("opened").toBool());
        const auto lines = menuLines(wifiMenu);
        shown = texts(lines);
        QCOMPARE(shown.first(), QStringLiteral("WiFi 自动发现（iPhone / Android）"));
        QVERIFY2(shown.contains("演示手机") && shown.contains("按地址连接…") && shown.contains("忘记「演示手机」")
                     && shown.contains("断开连接"),
                 qPrintable(shown.join('|')));
        QVERIFY(!shown.contains("未发现设备。请确认："));
        QMetaObject::invokeMethod(wifiMenu, "close");

        // Connected over WiFi: the USB menu has no disconnect entry.
        click(w.window, named(w.root(), "usbMenuButton"));
        QTRY_VERIFY(usbMenu->property("opened").toBool());
        shown = texts(menuLines(usbMenu));
        QVERIFY2(shown.contains("安卓 · USB 数据线") && !shown.contains("断开 USB 连接"), qPrintable(shown.join('|')));
        QMetaObject::invokeMethod(usbMenu, "close");

        // "断开连接" from the menu.
        click(w.window, named(w.root(), "wifiMenuButton"));
        QTRY_VERIFY(wifiMenu->property("opened").toBool());
        QQuickItem* disconnect = menuEntry(wifiMenu, "断开连接");
        QVERIFY(disconnect);
        click(w.window, disconnect);
        QTRY_VERIFY(!w.viewModel.device());
        // The menu closes, although its content changed under the click.
        QTRY_VERIFY(!wifiMenu->property("visible").toBool());
    }

    void theAddressCardConnects()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--name", "书房的手机"}), qPrintable(phone.errorText()));
        Window w;
        QVERIFY(w.open());
        QObject* wifiMenu = named<QObject>(w.root(), "wifiMenu");
        click(w.window, named(w.root(), "wifiMenuButton"));
        QTRY_VERIFY(wifiMenu->property("opened").toBool());
        click(w.window, menuEntry(wifiMenu, "按地址连接…"));
        auto* layer = named(w.root(), "addressLayer");
        QTRY_VERIFY(layer->isVisible());

        auto* card = named(w.root(), "addressCard");
        auto* field = named(card, "promptField");
        auto* confirm = named(card, "confirmButton");
        QVERIFY(!confirm->isEnabled());
        // Typed at once: the field has the focus when the card shows.
        type(w.window, "书房");
        QTest::keyClick(w.window, Qt::Key_Return);
        QVERIFY(layer->isVisible());
        QVERIFY(card->property("errorText").toString().contains("地址:端口"));

        field->setProperty("text", QString());
        field->forceActiveFocus();
        type(w.window, phone.address());
        click(w.window, confirm);
        QTRY_VERIFY(!layer->isVisible());
        QTRY_VERIFY(w.viewModel.device().has_value());
        QCOMPARE(w.viewModel.device()->name, QStringLiteral("书房的手机"));
    }

    void anOperationErrorIsShownOnceAsACard()
    {
        Window w;
        QVERIFY(w.open());
        auto* layer = named(w.root(), "remoteDialogLayer");
        QVERIFY(!layer->isVisible());
        w.viewModel.setRemoteActionError(QStringLiteral("“照片”已存在"));
        QTRY_VERIFY(layer->isVisible());
        QCOMPARE(named(w.root(), "confirmMessage")->property("text").toString(), QStringLiteral("“照片”已存在"));
        // Taken from the view model at once: it is not shown a second time.
        QVERIFY(w.viewModel.remoteActionError().isEmpty());
        click(w.window, named(w.root(), "confirmCardButton"));
        QTRY_VERIFY(!layer->isVisible());

        // Escape closes it too, and so does a click on the backdrop.
        w.viewModel.setRemoteActionError(QStringLiteral("删除失败"));
        QTRY_VERIFY(layer->isVisible());
        QTest::keyClick(w.window, Qt::Key_Escape);
        QTRY_VERIFY(!layer->isVisible());
        w.viewModel.setRemoteActionError(QStringLiteral("重命名失败"));
        QTRY_VERIFY(layer->isVisible());
        QTest::mouseClick(w.window, Qt::LeftButton, {}, layer->mapToScene(QPointF(5, 5)).toPoint());
        QTRY_VERIFY(!layer->isVisible());
    }

private:
    ScopedSettings m_settings;
};

QTEST_MAIN(ConnectionUiTest)
#include "tst_connectionui.moc"
