import QtQuick
import Zorvane.State
import QtQuick.Layouts

// Who is connected, and how: a dot, a title and a subtitle on a tinted capsule.
Rectangle {
    id: pill
    objectName: "statusPill"
    readonly property var device: ViewModel.device
    readonly property bool connected: device !== undefined && device !== null
    readonly property color stateColor: connected ? Theme.green : Theme.gray
    readonly property string icon: !connected ? "" : (ViewModel.connectedViaUSB ? "cable.connector" : "wifi")
    readonly property string title: connected ? device.name : qsTr("未连接 iPhone / Android")
    readonly property string subtitle: {
        if (!connected)
            return qsTr("用右上角菜单连接手机")
        let text = device.systemVersion
        if (device.storageFree !== undefined && device.storageFree !== null && device.storageFree >= 1)
            text += qsTr(" · 可用 %@").replace("%@", Formatter.fileSize(device.storageFree))
        return text
    }

    implicitWidth: row.implicitWidth + 20
    implicitHeight: row.implicitHeight + 10
    radius: height / 2
    color: Qt.rgba(stateColor.r, stateColor.g, stateColor.b, 0.12)

    RowLayout {
        id: row
        anchors.centerIn: parent
        spacing: 8
        Rectangle {
            width: 8
            height: 8
            radius: 4
            color: pill.stateColor
        }
        ColumnLayout {
            spacing: 1
            RowLayout {
                spacing: 4
                Symbol {
                    visible: pill.icon.length > 0
                    name: pill.icon
                    size: 11
                }
                Text {
                    objectName: "pillTitle"
                    text: pill.title
                    font.pixelSize: Theme.caption
                    font.weight: Font.Medium
                    color: Theme.primary
                    maximumLineCount: 1
                }
            }
            Text {
                objectName: "pillSubtitle"
                text: pill.subtitle
                font.pixelSize: Theme.caption2
                color: Theme.secondary
                maximumLineCount: 1
            }
        }
    }
}
