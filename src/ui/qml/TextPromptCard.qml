import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Asks for a name (or another one-line text): a title, a field, "取消" and a confirm button that
// stays disabled while the text is blank.
CardFrame {
    id: card
    property string title
    property string confirmTitle
    property alias text: field.text
    property string placeholder: qsTr("名称")
    // A problem with the text, shown under the field until the text changes.
    property string errorText
    signal cancelled()
    signal confirmed()

    readonly property bool blank: text.trim().length === 0
    contentWidth: 280
    onTextChanged: errorText = ""

    // Ready for typing (and for Escape) as soon as the card shows.
    function focusField() {
        field.forceActiveFocus()
    }

    function confirmIfFilled() {
        if (!blank)
            confirmed()
    }

    Text {
        text: card.title
        font.pixelSize: Theme.headline
        font.weight: Font.DemiBold
        color: Theme.primary
    }
    TextField {
        id: field
        objectName: "promptField"
        Layout.preferredWidth: 260
        placeholderText: card.placeholder
        font.pixelSize: Theme.callout
        focus: true
        onAccepted: card.confirmIfFilled()
        Keys.onEscapePressed: card.cancelled()
    }
    Text {
        visible: card.errorText.length > 0
        text: card.errorText
        color: Theme.red
        font.pixelSize: Theme.callout
        wrapMode: Text.Wrap
        Layout.preferredWidth: 260
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 10
        Item { Layout.fillWidth: true }
        Button {
            text: qsTr("取消")
            onClicked: card.cancelled()
        }
        Button {
            objectName: "confirmButton"
            text: card.confirmTitle
            highlighted: true
            enabled: !card.blank
            onClicked: card.confirmed()
        }
    }
}
