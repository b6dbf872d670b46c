// Connecting the window's state to a phone by address: the pairing prompt, a second phone that
// fails, disconnecting, and phones remembered across restarts.
#include "phonefixture.h"
#include "phoneprocess.h"
#include "scopedsettings.h"
#include "taskrunner.h"

#include "transport/transporterror.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString wrongCodeText = QStringLiteral("配对码不正确，请核对手机上「连接管理」里显示的 6 位数字");

std::optional<WiFiDeviceInfo> listedWithId(const MacViewModel& viewModel, const QString& id)
{
    for (const WiFiDeviceInfo& info : viewModel.wifiDevices()) {
        if (info.id == id)
            return info;
    }
    return std::nullopt;
}

} // namespace

class ConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        // Each case starts with nothing remembered.
        QSettings().clear();
    }

    void pairingPromptUntilTheRightCode()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--pairing-code", "482915"}), qPrintable(phone.errorText()));
        MacViewModel vm({}, false);
        QSignalSpy connecting(&vm, &MacViewModel::isConnectingWiFiChanged);

        QVERIFY(!runTask(vm.connectByAddress(phone.host(), phone.port(), std::nullopt)));
        QVERIFY(vm.pairingPrompt().has_value());
        const QUuid first = vm.pairingPrompt()->id;
        QCOMPARE(vm.pairingPrompt()->deviceName, phone.address());
        QCOMPARE(vm.pairingPrompt()->viaUSB, false);
        QVERIFY(vm.wifiErrorMessage().isEmpty()); // a demand for a code is not an error
        QVERIFY(!vm.device());
        QVERIFY(!vm.isConnectingWiFi());
        QCOMPARE(connecting.count(), 2);

        // Asked again: a new prompt, even for the same phone.
        QVERIFY(!runTask(vm.connectByAddress(phone.host(), phone.port(), std::nullopt)));
        QVERIFY(vm.pairingPrompt()->id != first);

        // A wrong code keeps the sheet open with the phone's refusal.
        runTask(vm.submitPairingCode("000000"));
        QVERIFY(vm.pairingPrompt().has_value());
        QCOMPARE(vm.pairingError(), wrongCodeText);
        QVERIFY(!vm.device());

        // The right one closes it and connects; the phone now goes by its own name.
        runTask(vm.submitPairingCode("482915"));
        QVERIFY(!vm.pairingPrompt());
        QVERIFY(vm.pairingError().isEmpty());
        QVERIFY(vm.device().has_value());
        QCOMPARE(vm.device()->name, QStringLiteral("演示手机"));
        QCOMPARE(listedWithId(vm, phone.address())->name, QStringLiteral("演示手机"));
        QCOMPARE(vm.remotePath(), QStringLiteral("/"));
    }

    void aCodeThePhoneDoesNotAdmitAsksAgain()
    {
        // The phone takes the code but still demands pairing: no error text exists to show.
        PhoneProcess phone;
        QVERIFY2(phone.start({"--pairing-code", "482915", "--fault", "/info:status:401"}), qPrintable(phone.errorText()));
        MacViewModel vm({}, false);
        runTask(vm.connectByAddress(phone.host(), phone.port(), std::nullopt));
        QVERIFY(vm.pairingPrompt().has_value());
        const QUuid first = vm.pairingPrompt()->id;
        runTask(vm.submitPairingCode("482915"));
        QVERIFY(vm.pairingPrompt().has_value());
        QVERIFY(vm.pairingPrompt()->id != first);
        QCOMPARE(vm.pairingError(), QStringLiteral("配对失败，请重试"));

        vm.cancelPairing();
        QVERIFY(!vm.pairingPrompt());
        QVERIFY(vm.pairingError().isEmpty());
    }

    void submittingWithoutAPromptDoesNothing()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start(), qPrintable(phone.errorText()));
        MacViewModel vm({}, false);
        QSignalSpy connecting(&vm, &MacViewModel::isConnectingWiFiChanged);
        QSignalSpy errors(&vm, &MacViewModel::pairingErrorChanged);
        runTask(vm.submitPairingCode("482915"));
        QCOMPARE(connecting.count(), 0);
        QCOMPARE(errors.count(), 0);
        QVERIFY(!vm.device());
    }

    void aSecondPhoneThatFailsLeavesTheFirstShown()
    {
        PhoneProcess first;
        QVERIFY2(first.start({"--name", "第一部"}), qPrintable(first.errorText()));
        MacViewModel vm({}, false);
        QVERIFY(runTask(vm.connectByAddress(first.host(), first.port(), std::nullopt)));

        QVERIFY(!runTask(vm.connectByAddress("127.0.0.1", 1, std::nullopt)));
        QCOMPARE(vm.device()->name, QStringLiteral("第一部"));
        QCOMPARE(vm.wifiErrorMessage(), QStringLiteral("无法连接 127.0.0.1:1：连接被拒绝"));
        QVERIFY(!vm.isConnectingWiFi());
        QVERIFY(!vm.connectedViaUSB());
        // Listed under its address for this session, but not remembered: it never answered.
        QCOMPARE(listedWithId(vm, "127.0.0.1:1")->name, QStringLiteral("127.0.0.1:1"));
        MacViewModel later({}, false);
        QVERIFY(!listedWithId(later, "127.0.0.1:1"));
        QVERIFY(listedWithId(later, first.address()).has_value());
    }

    void disconnecting()
    {
        MacViewModel idle({}, false);
        QSignalSpy deviceSignals(&idle, &MacViewModel::deviceChanged);
        QSignalSpy pathSignals(&idle, &MacViewModel::remotePathChanged);
        idle.disconnectWiFi();
        QCOMPARE(deviceSignals.count(), 0);
        QCOMPARE(pathSignals.count(), 0);

        PhoneProcess phone;
        QVERIFY2(phone.start(), qPrintable(phone.errorText()));
        phonefixture::makeTree(phone.root(), {"DCIM/a.jpg", "b.txt"});
        MacViewModel vm({}, false);
        QVERIFY(runTask(vm.connectByAddress(phone.host(), phone.port(), std::nullopt)));
        runTask(vm.goRemoteTo("/DCIM"));
        QCOMPARE(phonefixture::remoteNames(vm), QStringList{"a.jpg"});
        vm.disconnectWiFi();
        QVERIFY(!vm.device());
        QCOMPARE(vm.remoteItems()->entries().size(), 0);
        QCOMPARE(vm.remotePath(), QStringLiteral("/"));
        QVERIFY(vm.remoteStack().isEmpty());
        QVERIFY(vm.remoteErrorMessage().isEmpty());
        QVERIFY(!vm.connectedViaUSB());
        QVERIFY(!vm.wifiTransport().endpoint());
        // The phone stays in the list to connect again.
        QVERIFY(listedWithId(vm, phone.address()).has_value());
    }

    void rememberedPhonesSurviveARestartUntilForgotten()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--name", "客厅的手机"}), qPrintable(phone.errorText()));
        {
            MacViewModel vm({}, false);
            QVERIFY(runTask(vm.connectByAddress(phone.host(), phone.port(), std::nullopt)));
        }
        phone.kill();

        MacViewModel restarted({}, false);
        const std::optional<WiFiDeviceInfo> remembered = listedWithId(restarted, phone.address());
        QVERIFY(remembered.has_value());
        QCOMPARE(remembered->name, QStringLiteral("客厅的手机"));
        QCOMPARE(restarted.wifiDevicesValue().first().toMap().value("byAddress").toBool(), true);
        // Gone phones stay listed; connecting says why it failed.
        QVERIFY(!runTask(restarted.connectWiFiDevice(*remembered, std::nullopt, false)));
        QVERIFY(restarted.wifiErrorMessage().contains(phone.address()));

        restarted.forgetPhone(phone.address());
        QVERIFY(!listedWithId(restarted, phone.address()));
        MacViewModel again({}, false);
        QVERIFY(!listedWithId(again, phone.address()));
    }

    void rememberedPhonesSortWithTheRest()
    {
        PhoneProcess a, b;
        QVERIFY2(a.start({"--name", "phone 10"}), qPrintable(a.errorText()));
        QVERIFY2(b.start({"--name", "Phone 2"}), qPrintable(b.errorText()));
        MacViewModel vm({}, false);
        QVERIFY(runTask(vm.connectByAddress(a.host(), a.port(), std::nullopt)));
        QVERIFY(runTask(vm.connectByAddress(b.host(), b.port(), std::nullopt)));
        QStringList names;
        for (const WiFiDeviceInfo& info : vm.wifiDevices())
            names << info.name;
        QCOMPARE(names, (QStringList{"Phone 2", "phone 10"}));
    }

private:
    ScopedSettings m_settings;
};

QTEST_GUILESS_MAIN(ConnectionTest)
#include "tst_connection.moc"
