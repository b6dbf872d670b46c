import QtQuick
import QtQuick.Layouts

// One entry as an icon: a large symbol on a tile, the name on up to two lines, its size.
Rectangle {
    id: cell
    required property Item files
    required property string entryId
    required property string name
    required property bool isDirectory
    required property string formattedSize
    required property string iconName
    readonly property bool selected: files.selection.indexOf(entryId) >= 0
    readonly property bool targeted: files.dropTargetId === entryId

    height: 154
    radius: 10
    color: selected ? Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.18)
         : behaviour.containsMouse ? Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.05)
         : "transparent"
    border.width: targeted ? 1.5 : 0
    border.color: Theme.accent

    ColumnLayout {
        anchors.fill: parent
        anchors.topMargin: 10
        anchors.bottomMargin: 10
        anchors.leftMargin: 5
        anchors.rightMargin: 5
        spacing: 5
        Rectangle {
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 80
            Layout.preferredHeight: 80
            radius: 16
            color: cell.isDirectory ? Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.12)
                                    : Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.05)
            Symbol {
                anchors.centerIn: parent
                name: cell.iconName
                size: 46
                color: cell.isDirectory ? Theme.accent : Theme.secondary
            }
        }
        Text {
            Layout.fillWidth: true
            Layout.minimumHeight: 32
            Layout.alignment: Qt.AlignTop
            text: cell.name
            font.pixelSize: Theme.caption
            color: Theme.primary
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignTop
            wrapMode: Text.WrapAnywhere
            maximumLineCount: 2
            // Text shortens wrapped lines only at their end.
            elide: Text.ElideRight
        }
        Text {
            Layout.fillWidth: true
            Layout.preferredHeight: 12
            text: cell.isDirectory ? qsTr("文件夹") : cell.formattedSize
            font.pixelSize: Theme.caption2
            color: Theme.secondary
            horizontalAlignment: Text.AlignHCenter
            maximumLineCount: 1
            elide: Text.ElideRight
        }
    }
    EntryBehaviour {
        id: behaviour
        files: cell.files
        entryId: cell.entryId
        isDirectory: cell.isDirectory
        name: cell.name
    }
}
