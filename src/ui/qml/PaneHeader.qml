import QtQuick
import QtQuick.Layouts

// A pane's title bar: symbol and title, with room for buttons on either side.
Rectangle {
    property string icon
    property string title
    default property alias trailing: trailingRow.data
    property alias leading: leadingRow.data
    implicitHeight: 38
    color: Theme.barMaterial

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        spacing: 6
        RowLayout {
            id: leadingRow
            Layout.fillWidth: false
            spacing: 2
        }
        Symbol {
            name: icon
            size: 15
            color: Theme.secondary
        }
        Text {
            text: title
            font.pixelSize: Theme.headline
            font.weight: Font.DemiBold
            color: Theme.primary
            maximumLineCount: 1
        }
        Item {
            Layout.fillWidth: true
        }
        RowLayout {
            id: trailingRow
            Layout.fillWidth: false
            spacing: 4
        }
    }
}
