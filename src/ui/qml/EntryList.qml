import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A pane's entries, one row each, built lazily.
ListView {
    clip: true
    ScrollBar.vertical: ScrollBar {}
    delegate: Rectangle {
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
            Symbol { name: parent.parent.iconName; size: 16 }
            Text {
                Layout.fillWidth: true
                text: parent.parent.name
                elide: Text.ElideMiddle
                font.pixelSize: 12.5
                color: Theme.primary
            }
            Text {
                text: parent.parent.formattedSize
                font.pixelSize: Theme.caption
                color: Theme.secondary
            }
        }
    }
}
