import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A pane's entries, one row each, built lazily.
ListView {
    clip: true
    ScrollBar.vertical: ScrollBar {}
    delegate: Rectangle {
        id: row
        required property string name
        required property string iconName
        required property string formattedSize
        width: ListView.view.width
        height: 28
        color: "transparent"
        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 12
            anchors.rightMargin: 12
            spacing: 8
            Symbol {
                name: row.iconName
                size: 16
            }
            Text {
                Layout.fillWidth: true
                text: row.name
                elide: Text.ElideMiddle
                font.pointSize: 9.5
                color: Theme.primary
            }
            Text {
                text: row.formattedSize
                font.pixelSize: Theme.caption
                color: Theme.secondary
            }
        }
    }
}
