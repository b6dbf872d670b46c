import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A pane's transfer button with the selection summary or a hint.
Rectangle {
    id: bar
    property string title
    property string systemImage
    property int selectionCount: 0
    property string selectionSize
    property bool actionEnabled: false
    property string hint
    signal triggered()
    implicitHeight: 48
    color: Theme.barMaterial

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        spacing: 10
        Button {
            id: actionButton
            objectName: "paneActionButton"
            text: bar.title
            icon.source: "image://symbol/" + bar.systemImage
            icon.color: "white"
            enabled: bar.actionEnabled
            palette.buttonText: "white"
            background: Rectangle {
                implicitWidth: 96
                implicitHeight: 32
                radius: 7
                color: actionButton.down ? Qt.darker(Theme.accent, 1.15) : Theme.accent
                opacity: actionButton.enabled ? 1.0 : 0.4
            }
            ToolTip.visible: hovered
            ToolTip.text: bar.hint
            onClicked: bar.triggered()
        }
        Item {
            Layout.fillWidth: true
            Layout.minimumWidth: 6
        }
        Text {
            visible: bar.selectionCount < 1
            text: bar.hint
            font.pixelSize: Theme.caption2
            color: Theme.secondary
            elide: Text.ElideRight
            Layout.maximumWidth: bar.width * 0.6
        }
        ColumnLayout {
            visible: bar.selectionCount >= 1
            spacing: 0
            Text {
                objectName: "selectionCount"
                Layout.alignment: Qt.AlignRight
                text: qsTr("已选 %lld 项").replace("%lld", bar.selectionCount)
                font.pixelSize: Theme.caption
                color: Theme.primary
            }
            Text {
                Layout.alignment: Qt.AlignRight
                objectName: "selectionSize"
                visible: bar.selectionSize.length > 0
                text: bar.selectionSize
                font.pixelSize: Theme.caption2
                color: Theme.secondary
            }
        }
    }
}
