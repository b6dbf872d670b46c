import QtQuick
import Zorvane.State
import QtQuick.Controls
import QtQuick.Layouts

// The application's identity on the left; on the right the connection status, the WiFi, USB and
// settings menus, the rescan button and the last connection failure.
Rectangle {
    id: header
    signal addressEntryRequested()

    implicitHeight: row.implicitHeight + 18
    color: Theme.barMaterial

    readonly property string wifiTip: qsTr("WiFi 连接手机：与手机在同一局域网时自动发现（手机端需打开 App）")

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 16
        anchors.rightMargin: 16
        anchors.topMargin: 9
        anchors.bottomMargin: 9
        spacing: 12

        Image {
            source: "qrc:/Zorvane/applogo.svg"
            sourceSize.width: 60
            sourceSize.height: 60
            Layout.preferredWidth: 30
            Layout.preferredHeight: 30
            smooth: true
        }
        ColumnLayout {
            spacing: 1
            Text {
                text: qsTr("Zorvane")
                font.pixelSize: 14
                font.weight: Font.DemiBold
                color: Theme.primary
            }
            Text {
                text: qsTr("PC ⇄ iPhone / Android 传输")
                font.pixelSize: Theme.caption2
                color: Theme.secondary
            }
        }
        Item {
            Layout.fillWidth: true
            Layout.minimumWidth: 8
        }
        DeviceStatusPill {}
        IconButton {
            objectName: "wifiMenuButton"
            symbol: "wifi"
            tip: header.wifiTip
            menu: wifiMenu
        }
        IconButton {
            objectName: "usbMenuButton"
            symbol: "cable.connector"
            tip: qsTr("USB 数据线连接：iPhone 插线后由 macOS 自动桥接识别；安卓需开启「USB 调试」，走 adb 隧道把数据线当网线用")
            menu: usbMenu
        }
        IconButton {
            objectName: "settingsMenuButton"
            symbol: "gearshape"
            tip: qsTr("设置")
            menu: settingsMenu
        }
        Button {
            objectName: "rescanButton"
            text: qsTr("重新扫描 WiFi 设备")
            icon.source: "image://symbol/arrow.clockwise"
            icon.width: 13
            icon.height: 13
            font.pixelSize: Theme.callout
            ToolTip.visible: hovered
            ToolTip.text: header.wifiTip
            ToolTip.delay: 600
            onClicked: ViewModel.startWiFiBrowsing()
        }
        Text {
            visible: ViewModel.wifiErrorMessage.length > 0
            text: ViewModel.wifiErrorMessage
            color: Theme.red
            font.pixelSize: Theme.caption2
            maximumLineCount: 2
            wrapMode: Text.Wrap
            elide: Text.ElideRight
            horizontalAlignment: Text.AlignRight
            Layout.maximumWidth: 180
            HoverHandler { id: errorHover }
            ToolTip.visible: errorHover.hovered
            ToolTip.text: text
        }
    }

    Menu {
        id: wifiMenu
        objectName: "wifiMenu"
        width: 300
        onAboutToShow: fill()
        function fill() {
            const m = wifiBuilder
            m.clear()
            m.addHeading(qsTr("WiFi 自动发现（iPhone / Android）"))
            if (ViewModel.isConnectingWiFi)
                m.addLine(qsTr("连接中…"))
            if (ViewModel.wifiBrowseError.length > 0)
                m.addLine(ViewModel.wifiBrowseError, Theme.orange)
            const phones = ViewModel.wifiDevices.filter(d => !d.usbOnly)
            if (phones.length === 0 && !ViewModel.isConnectingWiFi)
                m.addLines(qsTr("未发现设备。请确认：\n1. 手机打开 Zorvane 并保持在前台\n2. 两端在同一 WiFi 下\n3. 首次使用允许「本地网络」权限"))
            for (const phone of phones) {
                const id = phone.id
                m.addEntry(phone.name, "iphone.radiowaves.left.and.right", !ViewModel.isConnectingWiFi,
                           () => ViewModel.requestConnectWiFiDevice(id, false))
            }
            // Phones on networks that block discovery are reached by address, and remembered.
            m.addSeparator()
            m.addEntry(qsTr("按地址连接…"), "", !ViewModel.isConnectingWiFi, () => header.addressEntryRequested())
            const remembered = ViewModel.wifiDevices.filter(d => d.byAddress)
            for (const phone of remembered) {
                const id = phone.id
                m.addEntry(qsTr("忘记「%@」").replace("%@", phone.name), "", true, () => ViewModel.forgetPhone(id))
            }
            if (ViewModel.device && ViewModel.connectionKind === "wifi") {
                m.addSeparator()
                m.addEntry(qsTr("断开连接"), "wifi.slash", true, () => ViewModel.disconnectWiFi())
            }
        }
    }
    MenuBuilder {
        id: wifiBuilder
        menu: wifiMenu
    }

    Menu {
        id: usbMenu
        objectName: "usbMenu"
        width: 320
        onAboutToShow: fill()
        function fill() {
            const m = usbBuilder
            m.clear()
            const iphones = ViewModel.wifiDevices.filter(d => d.isUSB)
            if (iphones.length === 0)
                m.addLines(qsTr("未发现经数据线连接的设备。请确认：\n1. 用 USB 数据线连接手机与 Mac\n2. 手机解锁并在「信任此电脑」中点信任\n3. 手机端打开 Zorvane 并保持在前台"))
            for (const phone of iphones) {
                const id = phone.id
                m.addEntry(phone.name, "cable.connector", !ViewModel.isConnectingWiFi,
                           () => ViewModel.requestConnectWiFiDevice(id, true))
            }
            m.addHeading(qsTr("安卓 · USB 数据线"))
            if (ViewModel.adbUnavailableReason.length > 0)
                m.addLine(ViewModel.adbUnavailableReason)
            else if (ViewModel.adbDevices.length === 0)
                m.addLines(qsTr("未发现安卓设备。请确认：\n1. 数据线连接安卓手机与 Mac\n2. 手机已开启「开发者选项 → USB 调试」\n3. 插线后手机弹窗点「允许 USB 调试」"))
            for (const device of ViewModel.adbDevices) {
                const serial = device.serial
                const label = device.ready ? device.name : qsTr("%@（未授权 USB 调试）").replace("%@", device.name)
                m.addEntry(label, device.ready ? "cable.connector" : "exclamationmark.triangle",
                           device.ready && !ViewModel.isConnectingWiFi,
                           () => ViewModel.requestConnectAndroidDevice(serial))
            }
            if (ViewModel.adbErrorMessage.length > 0 && ViewModel.adbDevices.length > 0)
                m.addLine(ViewModel.adbErrorMessage, Theme.orange)
            if (ViewModel.device && (ViewModel.connectionKind === "usbBridge" || ViewModel.connectionKind === "adbTunnel")) {
                m.addSeparator()
                m.addEntry(qsTr("断开 USB 连接"), "cable.connector.slash", true, () => ViewModel.disconnectWiFi())
            }
        }
    }
    MenuBuilder {
        id: usbBuilder
        menu: usbMenu
    }

    Menu {
        id: settingsMenu
        objectName: "settingsMenu"
        MenuItem {
            text: qsTr("隐私政策")
            icon.source: "image://symbol/hand.raised"
            icon.width: 14
            icon.height: 14
            onTriggered: PrivacyPolicy.open()
        }
    }

    // An open menu follows the state it shows.
    Connections {
        target: ViewModel
        function refresh() {
            if (wifiMenu.opened)
                wifiMenu.fill()
            if (usbMenu.opened)
                usbMenu.fill()
        }
        function onWifiDevicesChanged() { refresh() }
        function onIsConnectingWiFiChanged() { refresh() }
        function onWifiBrowseErrorChanged() { refresh() }
        function onAdbDevicesChanged() { refresh() }
        function onAdbErrorMessageChanged() { refresh() }
        function onDeviceChanged() { refresh() }
    }
}
