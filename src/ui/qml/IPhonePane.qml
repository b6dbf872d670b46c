import QtQuick
import Zorvane.State
import QtQuick.Controls
import QtQuick.Layouts

// The right pane: the current folder of the phone's file cabin, with its file operations. Files
// dropped here from other applications are pushed into it.
Rectangle {
    id: pane
    color: "white"
    readonly property bool connected: ViewModel.device !== undefined && ViewModel.device !== null
    readonly property bool remoteIsAndroid: connected && (ViewModel.device.platform === "android"
        || (ViewModel.device.platform === "" && ViewModel.device.systemVersion.startsWith("Android")))

    // The card on display: "", "newFolder", "rename", "delete" or "error", with what it needs.
    property string dialog: ""
    property string dialogText: ""
    property string dialogEntryId: ""
    property int dialogCount: 0
    property string dialogMessage: ""

    function closeDialog() {
        dialog = ""
    }
    function askNewFolder() {
        if (!connected)
            return
        dialogText = ""
        dialog = "newFolder"
    }
    function askRename(entryId) {
        const entry = ViewModel.remoteItems.entryWithId(entryId)
        if (entry.id === undefined)
            return
        dialogEntryId = entryId
        dialogText = entry.name
        dialog = "rename"
    }
    function askDelete() {
        if (ViewModel.selectedRemote.length === 0)
            return
        dialogCount = ViewModel.selectedRemote.length
        dialog = "delete"
    }
    // The menu's actions act on the entry under the pointer unless it is part of the selection.
    function selectIfNeeded(entryId) {
        if (ViewModel.selectedRemote.indexOf(entryId) < 0)
            ViewModel.selectedRemote = [entryId]
    }
    function showMenu(entryId, isDirectory, x, y) {
        const m = menuBuilder
        m.clear()
        if (isDirectory)
            m.addEntry(qsTr("打开"), "", true, () => ViewModel.openRemoteEntry(entryId))
        m.addEntry(qsTr("重命名"), "", true, () => pane.askRename(entryId))
        m.addSeparator()
        m.addEntry(qsTr("剪切"), "", true, () => { pane.selectIfNeeded(entryId); ViewModel.stageRemoteSelection(true) })
        m.addEntry(qsTr("复制"), "", true, () => { pane.selectIfNeeded(entryId); ViewModel.stageRemoteSelection(false) })
        if (isDirectory && ViewModel.canPasteRemote)
            m.addEntry(qsTr("粘贴到此处"), "", true, () => ViewModel.requestPasteRemoteEntries(entryId))
        m.addSeparator()
        m.addEntry(qsTr("删除"), "", true, () => { pane.selectIfNeeded(entryId); pane.askDelete() }, Theme.red)
        m.addSeparator()
        m.addEntry(qsTr("新建文件夹"), "", true, () => pane.askNewFolder())
        entryMenu.popup(pane, x, y)
    }

    Connections {
        target: ViewModel
        function onRemoteActionErrorChanged() {
            if (ViewModel.remoteActionError.length === 0)
                return
            pane.dialogMessage = ViewModel.remoteActionError
            pane.dialog = "error"
            ViewModel.remoteActionError = ""
        }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        PaneHeader {
            Layout.fillWidth: true
            icon: remoteIsAndroid ? "smartphone" : "iphone"
            title: qsTr("文件舱")
            leading: [
                IconButton {
                    objectName: "remoteBackButton"
                    visible: ViewModel.hasRemoteHistory
                    symbol: "chevron.left"
                    symbolSize: 12
                    tip: qsTr("返回上级")
                    onClicked: ViewModel.requestRemoteBack()
                },
                IconButton {
                    objectName: "remoteHomeButton"
                    visible: ViewModel.hasRemoteHistory
                    symbol: "house"
                    symbolSize: 12
                    tip: qsTr("回到文件舱根目录")
                    onClicked: ViewModel.requestRemoteRoot()
                }
            ]
            IconButton {
                objectName: "pasteButton"
                visible: ViewModel.canPasteRemote
                symbol: "doc.on.clipboard"
                symbolSize: 12
                tip: qsTr("粘贴")
                onClicked: ViewModel.requestPasteRemoteEntries(ViewModel.remotePath)
            }
            IconButton {
                objectName: "newFolderButton"
                enabled: pane.connected
                symbol: "folder.badge.plus"
                symbolSize: 12
                tip: qsTr("新建文件夹")
                onClicked: pane.askNewFolder()
            }
            IconButton {
                objectName: "remoteRefreshButton"
                enabled: pane.connected
                symbol: "arrow.clockwise"
                symbolSize: 12
                tip: qsTr("刷新")
                onClicked: ViewModel.requestRemoteReload()
            }
        }
        PathBar {
            objectName: "remotePathBar"
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 12
            Layout.topMargin: 8
            Layout.bottomMargin: 8
            crumbs: Crumbs.remote(ViewModel.remotePath)
            onCrumbChosen: (path) => {
                if (path === "/")
                    ViewModel.requestRemoteRoot()
                else
                    ViewModel.requestRemotePath(path)
            }
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.divider }
        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Loader {
                anchors.fill: parent
                sourceComponent: !pane.connected ? offlineNotice
                               : ViewModel.remoteErrorMessage.length > 0 ? errorNotice
                               : ViewModel.remoteItems.count === 0 ? emptyNotice : list
            }
            // Files from other applications (a file manager) are pushed into the open folder.
            DropArea {
                id: fileDrop
                anchors.fill: parent
                keys: ["text/uri-list"]
                onEntered: (drag) => drag.accepted = drag.hasUrls
                onDropped: (drop) => {
                    if (!pane.connected || !drop.hasUrls) {
                        drop.accepted = false
                        return
                    }
                    const paths = []
                    for (const url of drop.urls)
                        paths.push(url.toString())
                    drop.accept(Qt.CopyAction)
                    ViewModel.pushURLs(paths)
                }
            }
            DropOverlay {
                objectName: "pushOverlay"
                visible: fileDrop.containsDrag
                text: qsTr("松手即推送到当前目录")
            }
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.divider }
        PaneActionBar {
            Layout.fillWidth: true
            title: qsTr("拉取")
            systemImage: "arrow.left"
            selectionCount: ViewModel.selectedRemote.length
            selectionSize: ViewModel.remoteItems.selectionSize(ViewModel.selectedRemote)
            actionEnabled: ViewModel.selectedRemote.length > 0 && pane.connected
            hint: pane.connected ? qsTr("选中文件或文件夹后拉取") : qsTr("先连接手机（右上角扫描）")
            onTriggered: ViewModel.pullSelected()
        }
    }

    Component {
        id: offlineNotice
        NoticeView {
            symbol: "wifi"
            title: qsTr("未连接手机")
            message: qsTr("手机打开 Zorvane 并与 PC 连在同一 WiFi，然后从右上角菜单连接")
            actionTitle: qsTr("重新扫描 WiFi 设备")
            onActionTriggered: ViewModel.startWiFiBrowsing()
        }
    }
    Component {
        id: errorNotice
        NoticeView {
            symbol: "exclamationmark.triangle.fill"
            tint: Theme.orange
            title: qsTr("读取手机文件舱失败")
            message: ViewModel.remoteErrorMessage
            actionTitle: qsTr("重试")
            onActionTriggered: ViewModel.requestRemoteReload()
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
        FileList {
            objectName: "remoteFileList"
            model: ViewModel.remoteItems
            selection: ViewModel.selectedRemote
            dragKind: "remote"
            acceptsFolderDrops: true
            folderDrop: (entryId) => ViewModel.dropDraggedRemoteEntries(entryId)
            onSelectionEdited: (ids) => ViewModel.selectedRemote = ids
            onOpened: (entryId, isDirectory) => {
                if (isDirectory)
                    ViewModel.openRemoteEntry(entryId)
            }
            onDragStarted: (entryId) => ViewModel.beginRemoteDrag(entryId)
            onContextRequested: (entryId, isDirectory, name, x, y) => {
                const where = mapToItem(pane, x, y)
                pane.showMenu(entryId, isDirectory, where.x, where.y)
            }
            onBackRequested: ViewModel.requestRemoteBack()
            onReloadRequested: ViewModel.requestRemoteReload()
            onDeleteRequested: pane.askDelete()
            onRenameRequested: (entryId) => pane.askRename(entryId)
            onCopyRequested: (cut) => {
                if (ViewModel.selectedRemote.length > 0)
                    ViewModel.stageRemoteSelection(cut)
            }
            onPasteRequested: {
                if (ViewModel.canPasteRemote)
                    ViewModel.requestPasteRemoteEntries(ViewModel.remotePath)
            }
        }
    }

    Menu {
        id: entryMenu
        objectName: "entryMenu"
        width: 180
    }
    MenuBuilder {
        id: menuBuilder
        menu: entryMenu
    }

    // The dialog layer: a backdrop that closes the card when clicked, the card on it.
    Rectangle {
        objectName: "remoteDialogLayer"
        anchors.fill: parent
        visible: pane.dialog.length > 0
        color: Qt.rgba(0, 0, 0, 0.2)
        MouseArea {
            anchors.fill: parent
            onClicked: pane.closeDialog()
        }
        // Clicks on a card stay on the card.
        MouseArea {
            anchors.fill: nameCard.visible ? nameCard : confirmCard
        }
        TextPromptCard {
            id: nameCard
            objectName: "nameCard"
            anchors.centerIn: parent
            visible: pane.dialog === "newFolder" || pane.dialog === "rename"
            title: pane.dialog === "rename" ? qsTr("重命名") : qsTr("新建文件夹")
            confirmTitle: pane.dialog === "rename" ? qsTr("确定") : qsTr("创建")
            contentWidth: 280
            onVisibleChanged: {
                if (visible) {
                    text = pane.dialogText
                    Qt.callLater(focusField)
                }
            }
            onCancelled: pane.closeDialog()
            onConfirmed: {
                // Handed on as typed: the view model judges the name.
                const typed = text
                const kind = pane.dialog
                pane.closeDialog()
                if (kind === "rename")
                    ViewModel.requestRenameRemoteEntry(pane.dialogEntryId, typed)
                else
                    ViewModel.requestCreateRemoteFolder(typed)
            }
        }
        ConfirmCard {
            id: confirmCard
            objectName: "errorCard"
            anchors.centerIn: parent
            visible: pane.dialog === "delete" || pane.dialog === "error"
            destructive: pane.dialog === "delete"
            title: pane.dialog === "delete" ? qsTr("确认删除？") : qsTr("操作失败")
            message: pane.dialog === "delete"
                     ? qsTr("将删除 %ld 个条目，且无法恢复。").replace("%ld", pane.dialogCount)
                     : pane.dialogMessage
            confirmTitle: pane.dialog === "delete" ? qsTr("删除") : qsTr("好")
            onVisibleChanged: {
                if (visible)
                    forceActiveFocus()
            }
            onCancelled: pane.closeDialog()
            onConfirmed: {
                const kind = pane.dialog
                pane.closeDialog()
                if (kind === "delete")
                    ViewModel.requestDeleteRemoteSelection()
            }
        }
    }
}
