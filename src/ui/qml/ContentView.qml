import QtQuick
import Zorvane.State
import QtQuick.Layouts

// Header, the two panes with their divider, and the task panel, stacked without spacing.
Item {
    id: content
    objectName: "contentView"
    property real splitRatio: 0.5
    property bool tasksExpanded: true

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        HeaderBar {
            Layout.fillWidth: true
            onAddressEntryRequested: addressLayer.visible = true
        }
        Rectangle {
            Layout.fillWidth: true
            height: 1
            color: Theme.divider
        }
        PaneSplit {
            Layout.fillWidth: true
            Layout.fillHeight: true
            ratio: content.splitRatio
            onRatioRequested: (value) => content.splitRatio = value
        }
        Rectangle {
            Layout.fillWidth: true
            height: 1
            color: Theme.divider
        }
        TaskPanel {
            Layout.fillWidth: true
            expanded: content.tasksExpanded
            onToggleRequested: content.tasksExpanded = !content.tasksExpanded
        }
    }

    // While the phone waits for its pairing code.
    PairingPromptSheet {
        id: pairingSheet
        objectName: "pairingSheet"
        property string promptId: ""
        deviceName: ViewModel.pairingPrompt ? ViewModel.pairingPrompt.deviceName : ""
        errorMessage: ViewModel.pairingError
        onSubmitted: (code) => ViewModel.requestSubmitPairingCode(code)
        onCancelledByUser: {
            if (ViewModel.pairingPrompt)
                ViewModel.cancelPairing()
        }
        function follow() {
            const prompt = ViewModel.pairingPrompt
            if (!prompt) {
                promptId = ""
                close()
                return
            }
            if (opened && prompt.id !== promptId)
                restart()
            promptId = prompt.id
            open()
        }
        Connections {
            target: ViewModel
            function onPairingPromptChanged() { pairingSheet.follow() }
        }
    }

    // A phone reached by address: for networks where phones cannot be found.
    Rectangle {
        id: addressLayer
        objectName: "addressLayer"
        anchors.fill: parent
        visible: false
        color: Qt.rgba(0, 0, 0, 0.2)
        onVisibleChanged: {
            if (visible) {
                addressCard.text = ""
                addressCard.errorText = ""
                // After the menu that opened it has handed focus back.
                Qt.callLater(addressCard.focusField)
            }
        }
        MouseArea {
            anchors.fill: parent
            onClicked: addressLayer.visible = false
        }
        // Clicks on the card stay on the card.
        MouseArea {
            anchors.fill: addressCard
        }
        TextPromptCard {
            id: addressCard
            objectName: "addressCard"
            anchors.centerIn: parent
            title: qsTr("按地址连接手机")
            confirmTitle: qsTr("连接")
            placeholder: qsTr("地址:端口")
            onCancelled: addressLayer.visible = false
            onConfirmed: {
                if (ViewModel.requestConnectAddress(text))
                    addressLayer.visible = false
                else
                    errorText = qsTr("请按「地址:端口」填写，例如 192.168.1.20:8765")
            }
        }
    }
}
