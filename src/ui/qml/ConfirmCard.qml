import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Asks for a confirmation ("取消" and a destructive confirm button), or shows a message with a
// single button. Enter confirms, Escape cancels.
CardFrame {
    id: card
    property string title
    property string message
    property string confirmTitle
    property bool destructive: false
    signal cancelled()
    signal confirmed()

    contentWidth: 300
    focus: true
    Keys.onReturnPressed: confirmed()
    Keys.onEnterPressed: confirmed()
    Keys.onEscapePressed: cancelled()

    Text {
        text: card.title
        font.pixelSize: Theme.headline
        font.weight: Font.DemiBold
        color: Theme.primary
    }
    Text {
        objectName: "confirmMessage"
        Layout.maximumWidth: 300
        Layout.fillWidth: true
        text: card.message
        font.pixelSize: Theme.callout
        color: Theme.primary
        wrapMode: Text.Wrap
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 10
        Item { Layout.fillWidth: true }
        Button {
            visible: card.destructive
            text: qsTr("取消")
            onClicked: card.cancelled()
        }
        Button {
            objectName: "confirmCardButton"
            text: card.confirmTitle
            highlighted: !card.destructive
            palette.buttonText: card.destructive ? Theme.red : Theme.primary
            onClicked: card.confirmed()
        }
    }
}
