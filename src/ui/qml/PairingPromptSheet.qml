import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The 6-digit code the phone shows, asked for while the phone demands pairing. Only the length
// of the code trimmed of spaces and tabs gates "连接"; the phone decides the rest.
Popup {
    id: sheet
    property string deviceName
    property string errorMessage
    signal submitted(string code)
    signal cancelledByUser()

    readonly property string trimmedCode: field.text.replace(/^[ \t]+|[ \t]+$/g, "")
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    anchors.centerIn: Overlay.overlay
    padding: 24
    width: 380
    onAboutToShow: field.text = ""
    // A new prompt (the phone asked again) starts with an empty field.
    function restart() {
        field.text = ""
        field.forceActiveFocus()
    }
    onClosed: cancelledByUser()

    function submit() {
        if (trimmedCode.length >= 6)
            submitted(trimmedCode)
    }

    background: Rectangle {
        radius: 12
        color: Theme.windowBackground
        border.width: 1
        border.color: Qt.rgba(0, 0, 0, 0.12)
    }
    Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, 0.2) }

    contentItem: ColumnLayout {
        spacing: 14
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 6
            Symbol { name: "lock.shield"; size: 16 }
            Text {
                text: qsTr("需要配对")
                font.pixelSize: Theme.headline
                font.weight: Font.DemiBold
                color: Theme.primary
            }
        }
        Text {
            Layout.fillWidth: true
            text: qsTr("「%@」要求确认是你本人的 PC。请输入手机 App「连接管理」里显示的 6 位配对码。").replace("%@", sheet.deviceName)
            font.pixelSize: Theme.callout
            color: Theme.secondary
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
        }
        TextField {
            id: field
            objectName: "pairingCodeField"
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 180
            placeholderText: qsTr("6 位配对码")
            font.family: "monospace"
            font.pixelSize: 24
            font.weight: Font.DemiBold
            horizontalAlignment: TextInput.AlignHCenter
            focus: true
            onAccepted: sheet.submit()
        }
        Text {
            objectName: "pairingError"
            visible: sheet.errorMessage.length > 0
            Layout.fillWidth: true
            text: sheet.errorMessage
            font.pixelSize: Theme.callout
            color: Theme.red
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
        }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 10
            Button {
                text: qsTr("取消")
                onClicked: sheet.close()
            }
            Button {
                objectName: "pairingConnectButton"
                text: qsTr("连接")
                highlighted: true
                enabled: sheet.trimmedCode.length >= 6
                onClicked: sheet.submit()
            }
        }
    }
}
