import QtQuick

// What every entry does, as a row or as a cell: a click toggles it (Shift+click selects up to
// it), a double click opens it, the right button asks for its menu, a drag carries it to another
// pane or application, and a folder takes phone entries dropped on it.
MouseArea {
    id: behaviour
    required property Item files
    required property string entryId
    required property bool isDirectory
    required property string name
    readonly property bool targeted: folderDrop.containsDrag

    anchors.fill: parent
    hoverEnabled: true
    acceptedButtons: Qt.LeftButton | Qt.RightButton
    drag.target: files.dragKind.length > 0 ? dragProxy : null
    drag.threshold: 6

    onClicked: (mouse) => {
        files.forceActiveFocus()
        if (mouse.button === Qt.RightButton) {
            const where = mapToItem(files, mouse.x, mouse.y)
            files.contextRequested(entryId, isDirectory, name, where.x, where.y)
        } else if (mouse.modifiers & Qt.ShiftModifier) {
            files.selectRange(entryId)
        } else {
            files.toggle(entryId)
        }
    }
    onDoubleClicked: (mouse) => {
        if (mouse.button === Qt.LeftButton)
            files.opened(entryId, isDirectory)
    }

    // What the drag system carries: a computer entry's file URL, which other applications take;
    // a phone entry's path as text, which only marks the drag as ours.
    Item {
        id: dragProxy
        Drag.active: behaviour.drag.active
        Drag.dragType: Drag.Automatic
        Drag.supportedActions: Qt.CopyAction | Qt.MoveAction
        Drag.mimeData: behaviour.files.dragKind === "file"
                       ? {"text/uri-list": behaviour.files.fileUrl(behaviour.entryId)}
                       : {"text/plain": behaviour.entryId}
        Drag.onDragStarted: behaviour.files.dragStarted(behaviour.entryId)
    }
    DropArea {
        id: folderDrop
        anchors.fill: parent
        enabled: behaviour.files.acceptsFolderDrops && behaviour.isDirectory
        keys: ["text/plain"]
        onDropped: (drop) => {
            if (behaviour.files.folderDrop(behaviour.entryId))
                drop.accept(Qt.MoveAction)
            else
                drop.accepted = false
        }
    }
}
