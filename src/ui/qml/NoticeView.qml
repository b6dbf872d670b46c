import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// An empty, failed or unconnected pane: a symbol, a title, a message and an optional action.
Item {
    id: notice
    property string symbol
    property color tint: Theme.secondary
    property string title
    property string message
    property string actionTitle
    signal actionTriggered()

    ColumnLayout {
        anchors.centerIn: parent
        width: Math.max(0, notice.width - 48)
        spacing: 10
        Symbol {
            Layout.alignment: Qt.AlignHCenter
            name: notice.symbol
            size: 34
            color: notice.tint
        }
        Text {
            Layout.alignment: Qt.AlignHCenter
            text: notice.title
            font.pixelSize: Theme.subheadline
            font.weight: Font.Medium
            color: Theme.primary
        }
        Text {
            Layout.fillWidth: true
            text: notice.message
            font.pixelSize: Theme.caption
            color: Theme.secondary
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
        }
        Button {
            Layout.alignment: Qt.AlignHCenter
            objectName: "noticeAction"
            visible: notice.actionTitle.length > 0
            text: notice.actionTitle
            onClicked: notice.actionTriggered()
        }
    }
}
