import QtQuick
import QtQuick.Layouts

// One entry as a row: symbol, name over its size, a check mark when selected, a chevron for a
// folder.
Rectangle {
    id: row
    required property Item files
    required property string entryId
    required property string name
    required property bool isDirectory
    required property string formattedSize
    required property string iconName
    readonly property bool selected: files.selection.indexOf(entryId) >= 0

    implicitHeight: content.implicitHeight + 10
    radius: 6
    color: selected ? Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.22)
         : behaviour.containsMouse ? Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.06)
         : "transparent"
    border.width: behaviour.targeted ? 1.5 : 0
    border.color: Theme.accent

    RowLayout {
        id: content
        anchors.fill: parent
        anchors.leftMargin: 10
        anchors.rightMargin: 10
        spacing: 10
        Item {
            Layout.preferredWidth: 20
            Layout.preferredHeight: 20
            Symbol {
                anchors.centerIn: parent
                name: row.iconName
                size: 15
                color: row.isDirectory ? Theme.accent : Theme.secondary
            }
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 1
            Text {
                Layout.fillWidth: true
                text: row.name
                font.pixelSize: 13
                color: Theme.primary
                elide: Text.ElideMiddle
                maximumLineCount: 1
            }
            Text {
                text: row.isDirectory ? qsTr("文件夹") : row.formattedSize
                font.pixelSize: Theme.caption2
                color: Theme.secondary
            }
        }
        Item { Layout.minimumWidth: 6 }
        Symbol {
            visible: row.selected
            name: "checkmark.circle.fill"
            size: 14
            color: Theme.accent
        }
        Symbol {
            visible: row.isDirectory
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
