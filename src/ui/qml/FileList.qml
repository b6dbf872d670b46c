import QtQuick
import Zorvane.State
import QtQuick.Controls
import QtQuick.Layouts

// A pane's entries as rows or as icons (one choice for both panes, remembered), with their count.
// It only reports what the user does; the pane decides what that means.
FocusScope {
    id: fileList
    property var model
    property var selection: []
    // "file": entries drag out as file URLs; "remote": as their phone path in plain text; "": not at all.
    property string dragKind: ""
    property bool acceptsFolderDrops: false
    // Called with a folder's id when phone entries are dropped on it; true when it took them.
    property var folderDrop: function(entryId) { return false }
    // The folder a drag of phone entries hovers over, outlined while it does.
    property string dropTargetId: ""
    // The entry clicked last: where Shift+click ranges start and what Enter and F2 act on.
    property string anchorId: ""
    readonly property bool grid: ViewPreferences.fileViewMode === "grid"
    readonly property Item view: loader.item

    signal selectionEdited(var ids)
    signal opened(string entryId, bool isDirectory)
    signal contextRequested(string entryId, bool isDirectory, string name, real x, real y)
    signal dragStarted(string entryId)
    signal backRequested()
    signal reloadRequested()
    signal deleteRequested()
    signal renameRequested(string entryId)
    signal copyRequested(bool cut)
    signal pasteRequested()

    function toggle(entryId) {
        anchorId = entryId
        const ids = selection.slice()
        const at = ids.indexOf(entryId)
        if (at >= 0)
            ids.splice(at, 1)
        else
            ids.push(entryId)
        selectionEdited(ids)
    }
    function selectRange(entryId) {
        if (anchorId.length === 0 || model.indexOf(anchorId) < 0) {
            toggle(entryId)
            return
        }
        const ids = selection.slice()
        for (const id of model.idsBetween(anchorId, entryId)) {
            if (ids.indexOf(id) < 0)
                ids.push(id)
        }
        selectionEdited(ids)
    }
    // The entry the keyboard acts on: the one clicked last if still selected, else the only one.
    function currentId() {
        if (anchorId.length > 0 && selection.indexOf(anchorId) >= 0)
            return anchorId
        return selection.length === 1 ? selection[0] : ""
    }
    function fileUrl(path) {
        return encodeURI("file://" + path).replace(/#/g, "%23").replace(/\?/g, "%3F")
    }

    Keys.onPressed: (event) => {
        const ctrl = (event.modifiers & Qt.ControlModifier) !== 0
        const current = currentId()
        if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
            if (current.length === 0)
                return
            opened(current, model.entryWithId(current).isDirectory === true)
        } else if (ctrl && event.key === Qt.Key_A) {
            selectionEdited(model.allIds())
        } else if (ctrl && (event.key === Qt.Key_C || event.key === Qt.Key_X)) {
            copyRequested(event.key === Qt.Key_X)
        } else if (ctrl && event.key === Qt.Key_V) {
            pasteRequested()
        } else if (event.key === Qt.Key_Backspace) {
            backRequested()
        } else if (event.key === Qt.Key_Delete) {
            deleteRequested()
        } else if (event.key === Qt.Key_F2) {
            if (current.length > 0)
                renameRequested(current)
        } else if (event.key === Qt.Key_F5) {
            reloadRequested()
        } else {
            return
        }
        event.accepted = true
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: toolbar.implicitHeight + 12
            color: Theme.barMaterial
            RowLayout {
                id: toolbar
                anchors.fill: parent
                anchors.leftMargin: 10
                anchors.rightMargin: 10
                spacing: 6
                Text {
                    objectName: "entryCount"
                    text: qsTr("%lld 项").replace("%lld", fileList.model ? fileList.model.count : 0)
                    font.pixelSize: Theme.caption
                    color: Theme.secondary
                }
                Item { Layout.fillWidth: true }
                // The segmented switch between rows and icons.
                Rectangle {
                    implicitWidth: 84
                    implicitHeight: 22
                    radius: 6
                    color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.06)
                    Accessible.name: qsTr("摆放方式")
                    ToolTip.visible: switchHover.hovered
                    ToolTip.text: qsTr("切换列表 / 图标视图")
                    ToolTip.delay: 600
                    HoverHandler { id: switchHover }
                    Row {
                        anchors.fill: parent
                        anchors.margins: 2
                        Repeater {
                            model: [{mode: "list", symbol: "list.bullet"}, {mode: "grid", symbol: "square.grid.2x2"}]
                            delegate: AbstractButton {
                                required property var modelData
                                objectName: modelData.mode + "ModeButton"
                                width: 40
                                height: 18
                                checked: ViewPreferences.fileViewMode === modelData.mode
                                background: Rectangle {
                                    radius: 5
                                    color: parent.checked ? "white" : "transparent"
                                }
                                contentItem: Item {
                                    Symbol {
                                        anchors.centerIn: parent
                                        name: modelData.symbol
                                        size: 12
                                        color: Theme.primary
                                    }
                                }
                                onClicked: ViewPreferences.fileViewMode = modelData.mode
                            }
                        }
                    }
                }
            }
        }
        Loader {
            id: loader
            Layout.fillWidth: true
            Layout.fillHeight: true
            sourceComponent: fileList.grid ? gridComponent : listComponent

            // One drop target for all the folders, rather than one per entry: it finds the entry
            // under the pointer as the drag moves.
            DropArea {
                anchors.fill: parent
                enabled: fileList.acceptsFolderDrops
                keys: ["text/plain"]
                function folderAt(x, y) {
                    const view = loader.item
                    if (!view)
                        return ""
                    const index = view.indexAt(x + view.contentX, y + view.contentY)
                    if (index < 0)
                        return ""
                    const entry = fileList.model.entryWithId(fileList.model.idAt(index))
                    return entry.isDirectory === true ? entry.id : ""
                }
                onEntered: (drag) => {
                    fileList.dropTargetId = folderAt(drag.x, drag.y)
                    drag.accepted = fileList.dropTargetId.length > 0
                }
                onPositionChanged: (drag) => {
                    fileList.dropTargetId = folderAt(drag.x, drag.y)
                    drag.accepted = fileList.dropTargetId.length > 0
                }
                onExited: fileList.dropTargetId = ""
                onDropped: (drop) => {
                    const target = folderAt(drop.x, drop.y)
                    fileList.dropTargetId = ""
                    if (target.length > 0 && fileList.folderDrop(target))
                        drop.accept(Qt.MoveAction)
                    else
                        drop.accepted = false
                }
            }
        }
    }

    Component {
        id: listComponent
        ListView {
            objectName: "entryView"
            clip: true
            spacing: 2
            topMargin: 8
            bottomMargin: 8
            leftMargin: 8
            rightMargin: 8
            model: fileList.model
            // Rows leaving the view are used again for those coming in: far less made and
            // collected while a long folder scrolls.
            reuseItems: true
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
            delegate: FileRow {
                files: fileList
                width: ListView.view.width - 16
            }
        }
    }
    Component {
        id: gridComponent
        GridView {
            id: grid
            objectName: "entryView"
            clip: true
            // As many columns of 96 to 128 as fit, 8 apart, 12 from the edges.
            readonly property real available: width - 24
            readonly property int columns: Math.max(1, Math.floor(available / (96 + 8)))
            cellWidth: Math.min(128 + 8, available / columns)
            cellHeight: 154 + 10
            topMargin: 12
            bottomMargin: 12
            leftMargin: 12
            rightMargin: 12
            model: fileList.model
            reuseItems: true
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
            delegate: Item {
                id: slot
                required property string entryId
                required property string name
                required property bool isDirectory
                required property string formattedSize
                required property string iconName
                width: grid.cellWidth
                height: grid.cellHeight
                FileGridCell {
                    files: fileList
                    width: slot.width - 8
                    entryId: slot.entryId
                    name: slot.name
                    isDirectory: slot.isDirectory
                    formattedSize: slot.formattedSize
                    iconName: slot.iconName
                }
            }
        }
    }
}
