import QtQuick
import Zorvane.State
import QtQuick.Controls
import QtQuick.Layouts

// One transfer: its direction, name, state and progress, and why it failed.
Rectangle {
    id: row
    required property var task

    readonly property color statusColor: {
        switch (task.statusName) {
        case "running": return Theme.accent
        case "success": return Theme.green
        case "failed": return Theme.red
        default: return Theme.secondary
        }
    }

    implicitHeight: content.implicitHeight + 16
    radius: 8
    color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.05)

    RowLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 8
        spacing: 10
        Item {
            Layout.preferredWidth: 20
            Layout.preferredHeight: 20
            Symbol {
                anchors.centerIn: parent
                name: row.task.isPull ? "arrow.down.circle" : "arrow.up.circle"
                size: 15
                color: row.statusColor
            }
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4
            RowLayout {
                Layout.fillWidth: true
                spacing: 6
                Text {
                    text: row.task.name
                    font.pixelSize: 12
                    color: Theme.primary
                    elide: Text.ElideMiddle
                    maximumLineCount: 1
                    Layout.maximumWidth: row.width * 0.55
                }
                Text {
                    text: row.task.directionText
                    font.pixelSize: Theme.caption2
                    color: Theme.secondary
                }
                Text {
                    visible: row.task.note.length > 0
                    text: row.task.note
                    font.pixelSize: Theme.caption2
                    color: Theme.secondary
                }
                Item { Layout.fillWidth: true; Layout.minimumWidth: 4 }
                Text {
                    objectName: "percent"
                    visible: row.task.statusName === "running"
                    text: qsTr("%.0f%%").replace("%.0f", Math.round(row.task.progress * 100)).replace("%%", "%")
                    font.pixelSize: Theme.caption
                    color: Theme.secondary
                }
                IconButton {
                    objectName: "cancelTask"
                    visible: row.task.statusName === "waiting" || row.task.statusName === "running"
                    symbol: "xmark.circle"
                    symbolSize: 13
                    implicitHeight: 18
                    tip: qsTr("取消")
                    onClicked: ViewModel.cancelTask(row.task.id)
                }
                Symbol {
                    visible: row.task.statusName === "failed" || row.task.statusName === "success"
                    name: row.task.statusName === "failed" ? "exclamationmark.circle.fill" : "checkmark.circle.fill"
                    color: row.task.statusName === "failed" ? Theme.red : Theme.green
                    size: 13
                }
            }
            ProgressBar {
                id: bar
                Layout.fillWidth: true
                value: row.task.progress
                contentItem: Item {
                    implicitHeight: 4
                    Rectangle {
                        width: bar.visualPosition * parent.width
                        height: parent.height
                        radius: 2
                        color: row.statusColor
                    }
                }
                background: Rectangle {
                    implicitHeight: 4
                    radius: 2
                    color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.08)
                }
            }
            Text {
                visible: row.task.statusName === "failed"
                Layout.fillWidth: true
                text: row.task.failureMessage
                font.pixelSize: Theme.caption2
                color: Theme.red
                wrapMode: Text.Wrap
                maximumLineCount: 2
                elide: Text.ElideRight
            }
        }
    }
}
