import QtQuick
import Zorvane.State
import QtQuick.Controls
import QtQuick.Layouts

// The left pane: a folder of this computer.
Rectangle {
    color: "white"
    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        PaneHeader {
            Layout.fillWidth: true
            icon: "desktopcomputer"
            title: qsTr("PC 本地")
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.divider }
        Loader {
            Layout.fillWidth: true
            Layout.fillHeight: true
            sourceComponent: ViewModel.localErrorMessage.length > 0 ? errorNotice
                           : ViewModel.localDirectory.length === 0 ? pickNotice
                           : ViewModel.localItems.count === 0 ? emptyNotice : list
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.divider }
        PaneActionBar {
            Layout.fillWidth: true
            title: qsTr("推送")
            systemImage: "arrow.right"
            selectionCount: ViewModel.selectedLocal.length
            actionEnabled: ViewModel.selectedLocal.length > 0 && ViewModel.device !== undefined && ViewModel.device !== null
            hint: ViewModel.device ? qsTr("选中文件或文件夹后推送") : qsTr("先连接手机（右上角 WiFi 菜单）")
        }
    }

    Component {
        id: errorNotice
        NoticeView {
            symbol: "exclamationmark.triangle.fill"
            tint: Theme.orange
            title: qsTr("无法读取这个文件夹")
            message: ViewModel.localErrorMessage
        }
    }
    Component {
        id: pickNotice
        NoticeView {
            symbol: "folder"
            title: qsTr("选择文件夹")
            message: qsTr("点标题栏的文件夹图标换个目录，也可以从右栏把手机文件拖到这里拉取")
        }
    }
    Component {
        id: emptyNotice
        NoticeView {
            symbol: "folder"
            title: qsTr("这个文件夹是空的")
            message: qsTr("点标题栏的文件夹图标换个目录，也可以从右栏把手机文件拖到这里拉取")
        }
    }
    Component {
        id: list
        EntryList {
            model: ViewModel.localItems
        }
    }
}
