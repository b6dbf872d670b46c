import QtQuick
import Zorvane.State
import QtQuick.Controls
import QtQuick.Layouts

// The right pane: the current folder of the phone's file cabin.
Rectangle {
    color: "white"
    readonly property bool connected: ViewModel.device !== undefined && ViewModel.device !== null
    readonly property bool remoteIsAndroid: connected && (ViewModel.device.platform === "android"
        || (ViewModel.device.platform === "" && ViewModel.device.systemVersion.startsWith("Android")))

    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        PaneHeader {
            Layout.fillWidth: true
            icon: remoteIsAndroid ? "smartphone" : "iphone"
            title: qsTr("文件舱")
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.divider }
        Loader {
            Layout.fillWidth: true
            Layout.fillHeight: true
            sourceComponent: !connected ? offlineNotice
                           : ViewModel.remoteErrorMessage.length > 0 ? errorNotice
                           : ViewModel.remoteItems.count === 0 ? emptyNotice : list
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.divider }
        PaneActionBar {
            Layout.fillWidth: true
            title: qsTr("拉取")
            systemImage: "arrow.left"
            selectionCount: ViewModel.selectedRemote.length
            actionEnabled: ViewModel.selectedRemote.length > 0 && connected
            hint: connected ? qsTr("选中文件或文件夹后拉取") : qsTr("先连接手机（右上角扫描）")
        }
    }

    Component {
        id: offlineNotice
        NoticeView {
            symbol: "wifi"
            title: qsTr("未连接手机")
            message: qsTr("手机打开 Zorvane 并与 PC 连在同一 WiFi，然后从右上角菜单连接")
        }
    }
    Component {
        id: errorNotice
        NoticeView {
            symbol: "exclamationmark.triangle.fill"
            tint: Theme.orange
            title: qsTr("读取手机文件舱失败")
            message: ViewModel.remoteErrorMessage
        }
    }
    Component {
        id: emptyNotice
        NoticeView {
            symbol: "tray"
            title: qsTr("文件舱是空的")
            message: qsTr("从左栏选中文件推送过来，或直接把文件拖到这里")
        }
    }
    Component {
        id: list
        EntryList {
            model: ViewModel.remoteItems
        }
    }
}
