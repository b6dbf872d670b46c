import QtQuick
import Zorvane.State
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts

// The left pane: a folder of this computer. Phone entries dragged here are pulled into it.
Rectangle {
    id: pane
    color: "white"
    readonly property bool connected: ViewModel.device !== undefined && ViewModel.device !== null

    // The picker starts in the folder shown, or in the home folder.
    function chooseFolder() {
        folderPicker.currentFolder = ViewModel.localDirectory.length > 0
                ? "file://" + encodeURI(ViewModel.localDirectory) : Crumbs.homeFolder()
        folderPicker.open()
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        PaneHeader {
            Layout.fillWidth: true
            icon: "desktopcomputer"
            title: qsTr("PC 本地")
            leading: [
                IconButton {
                    objectName: "localBackButton"
                    visible: ViewModel.hasLocalHistory
                    symbol: "chevron.left"
                    symbolSize: 12
                    tip: qsTr("返回上级")
                    onClicked: ViewModel.goLocalBack()
                },
                IconButton {
                    objectName: "localHomeButton"
                    visible: ViewModel.hasLocalHistory
                    symbol: "house"
                    symbolSize: 12
                    tip: qsTr("回到主目录")
                    onClicked: ViewModel.goLocalRoot()
                }
            ]
            IconButton {
                objectName: "chooseFolderButton"
                symbol: "folder"
                symbolSize: 12
                tip: qsTr("选择文件夹")
                onClicked: pane.chooseFolder()
            }
            IconButton {
                objectName: "localRefreshButton"
                symbol: "arrow.clockwise"
                symbolSize: 12
                tip: qsTr("刷新")
                onClicked: ViewModel.reloadLocalDirectory()
            }
        }
        PathBar {
            objectName: "localPathBar"
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 12
            Layout.topMargin: 8
            Layout.bottomMargin: 8
            crumbs: Crumbs.local(ViewModel.localDirectory)
            onCrumbChosen: (path) => ViewModel.navigateLocalTo(path)
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.divider }
        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Loader {
                anchors.fill: parent
                sourceComponent: ViewModel.localErrorMessage.length > 0 ? errorNotice
                               : ViewModel.localDirectory.length === 0 ? pickNotice
                               : ViewModel.localItems.count === 0 ? emptyNotice : list
            }
            // Phone entries dragged from the right pane: their drag carries text only to be
            // recognised; what is pulled is what the view model recorded at the drag's start.
            DropArea {
                id: remoteDrop
                anchors.fill: parent
                keys: ["text/plain"]
                onDropped: (drop) => {
                    if (ViewModel.pullDraggedRemoteEntries())
                        drop.accept(Qt.CopyAction)
                    else
                        drop.accepted = false
                }
            }
            DropOverlay {
                objectName: "pullOverlay"
                visible: remoteDrop.containsDrag
                text: qsTr("松手即拉取到当前目录")
            }
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.divider }
        PaneActionBar {
            Layout.fillWidth: true
            title: qsTr("推送")
            systemImage: "arrow.right"
            selectionCount: ViewModel.selectedLocal.length
            selectionSize: ViewModel.localItems.selectionSize(ViewModel.selectedLocal)
            actionEnabled: ViewModel.selectedLocal.length > 0 && pane.connected
            hint: pane.connected ? qsTr("选中文件或文件夹后推送") : qsTr("先连接手机（右上角 WiFi 菜单）")
            onTriggered: ViewModel.pushSelected()
        }
    }

    FolderDialog {
        id: folderPicker
        objectName: "folderPicker"
        title: qsTr("选择文件夹")
        onAccepted: ViewModel.openSecurityScopedDirectory(selectedFolder.toString())
    }

    Component {
        id: errorNotice
        NoticeView {
            symbol: "exclamationmark.triangle.fill"
            tint: Theme.orange
            title: qsTr("无法读取这个文件夹")
            message: ViewModel.localErrorMessage
            actionTitle: qsTr("重试")
            onActionTriggered: ViewModel.reloadLocalDirectory()
        }
    }
    Component {
        id: pickNotice
        NoticeView {
            symbol: "folder"
            title: qsTr("选择文件夹")
            message: qsTr("点标题栏的文件夹图标换个目录，也可以从右栏把手机文件拖到这里拉取")
            actionTitle: qsTr("选择文件夹")
            onActionTriggered: pane.chooseFolder()
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
        FileList {
            objectName: "localFileList"
            model: ViewModel.localItems
            selection: ViewModel.selectedLocal
            dragKind: "file"
            onSelectionEdited: (ids) => ViewModel.selectedLocal = ids
            onOpened: (entryId, isDirectory) => {
                if (isDirectory)
                    ViewModel.enterLocalDirectory(entryId)
            }
            onBackRequested: ViewModel.goLocalBack()
            onReloadRequested: ViewModel.reloadLocalDirectory()
        }
    }
}
