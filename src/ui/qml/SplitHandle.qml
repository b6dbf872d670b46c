import QtQuick

// The draggable divider between the panes.
Item {
    id: handle
    property real totalWidth: 0
    signal ratioRequested(real value)
    width: 8

    Rectangle {
        anchors.centerIn: parent
        width: 2
        height: 40
        radius: 1
        color: mouse.containsMouse || mouse.pressed ? Theme.accent : Qt.rgba(0, 0, 0, 0.10)
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.SplitHCursor
        onPositionChanged: (event) => {
            if (!pressed || handle.totalWidth <= 0)
                return
            const x = handle.mapToItem(handle.parent, event.x, 0).x
            handle.ratioRequested(Math.min(Math.max(x / handle.totalWidth, 0.25), 0.75))
        }
    }
}
