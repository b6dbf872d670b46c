import QtQuick

// What every entry does, as a row or as a cell: a click toggles it (Shift+click selects up to
// it), a double click opens it, the right button asks for its menu, and a drag carries it to
// another pane or application. Kept light: a folder of thousands makes one per visible entry.
MouseArea {
    id: behaviour
    required property Item files
    required property string entryId
    required property bool isDirectory
    required property string name

    anchors.fill: parent
    hoverEnabled: true
    acceptedButtons: Qt.LeftButton | Qt.RightButton
    drag.target: files.dragKind.length > 0 ? dragProxy : null
    drag.threshold: 6

    // What the drag system carries, made only when a drag may start: a computer entry's file
    // URL, which other applications take; a phone entry's path as text, which marks it as ours.
    onPressed: (mouse) => {
        if (mouse.button === Qt.LeftButton && files.dragKind.length > 0)
            dragProxy.Drag.mimeData = files.dragKind === "file" ? {"text/uri-list": files.fileUrl(entryId)}
                                                                : {"text/plain": entryId}
    }
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

    Item {
        id: dragProxy
        Drag.active: behaviour.drag.active
        Drag.dragType: Drag.Automatic
        Drag.supportedActions: Qt.CopyAction | Qt.MoveAction
        Drag.onDragStarted: behaviour.files.dragStarted(behaviour.entryId)
    }
}
