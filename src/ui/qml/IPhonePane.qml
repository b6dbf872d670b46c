import QtQuick
import Zorvane.State
import QtQuick.Controls
import QtQuick.Layouts

// The right pane: the current folder of the phone's file cabin.
Rectangle {
    id: pane
    color: "white"
    // The failure of the last remote operation, shown once as a card (the view model's text is
    // taken at once, so the same failure never comes back).
    property string errorDialog: ""

    Connections {
        target: ViewModel
        function onRemoteActionErrorChanged() {
            if (ViewModel.remoteActionError.length === 0)
                return
            pane.errorDialog = ViewModel.remoteActionError
            ViewModel.remoteActionError = ""
        }
    }
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

    // The dialog layer: a backdrop that closes the card when clicked, the card on it.
    Rectangle {
        objectName: "remoteDialogLayer"
        anchors.fill: parent
        visible: pane.errorDialog.length > 0
        color: Qt.rgba(0, 0, 0, 0.2)
        MouseArea {
            anchors.fill: parent
            onClicked: pane.errorDialog = ""
        }
        MouseArea {
            anchors.fill: errorCard
        }
        ConfirmCard {
            id: errorCard
            objectName: "errorCard"
            anchors.centerIn: parent
            title: qsTr("操作失败")
            message: pane.errorDialog
            confirmTitle: qsTr("好")
            onConfirmed: pane.errorDialog = ""
            onCancelled: pane.errorDialog = ""
            onVisibleChanged: {
                if (visible)
                    forceActiveFocus()
            }
        }
    }
}
