import QtQuick

// One entry as a row: symbol, name over its size, a check mark when selected, a chevron for a
// folder. Positioned by anchors, not layouts: it is made for every row that scrolls into view.
Rectangle {
    id: row
    required property Item files
    required property string entryId
    required property string name
    required property bool isDirectory
    required property string formattedSize
    required property string iconName
    readonly property bool selected: files.selection.indexOf(entryId) >= 0
    readonly property bool targeted: files.dropTargetId === entryId

    implicitHeight: 42
    radius: 6
    color: selected ? Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.22)
         : behaviour.containsMouse ? Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.06)
         : "transparent"
    border.width: targeted ? 1.5 : 0
    border.color: Theme.accent

    Symbol {
        id: icon
        x: 10 + (20 - width) / 2
        anchors.verticalCenter: parent.verticalCenter
        name: row.iconName
        size: 15
        color: row.isDirectory ? Theme.accent : Theme.secondary
    }
    Text {
        id: title
        anchors.left: parent.left
        anchors.leftMargin: 40
        anchors.right: trailing.left
        anchors.rightMargin: 6
        y: 5
        text: row.name
        font.pixelSize: 13
        color: Theme.primary
        elide: Text.ElideMiddle
        maximumLineCount: 1
    }
    Text {
        anchors.left: title.left
        anchors.top: title.bottom
        anchors.topMargin: 1
        text: row.isDirectory ? qsTr("文件夹") : row.formattedSize
        font.pixelSize: Theme.caption2
        color: Theme.secondary
    }
    Row {
        id: trailing
        anchors.right: parent.right
        anchors.rightMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        spacing: 10
        Symbol {
            visible: row.selected
            anchors.verticalCenter: parent.verticalCenter
            name: "checkmark.circle.fill"
            size: 14
            color: Theme.accent
        }
        Symbol {
            visible: row.isDirectory
            anchors.verticalCenter: parent.verticalCenter
            name: "chevron.right"
            size: 9
            color: Theme.tertiary
        }
    }
    EntryBehaviour {
        id: behaviour
        files: row.files
        entryId: row.entryId
        isDirectory: row.isDirectory
        name: row.name
    }
}
