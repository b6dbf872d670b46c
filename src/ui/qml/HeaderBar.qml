import QtQuick
import Zorvane.State
import QtQuick.Layouts

// The application's identity on the left, the connection status on the right.
Rectangle {
    implicitHeight: row.implicitHeight + 18
    color: Theme.barMaterial

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 16
        anchors.rightMargin: 16
        anchors.topMargin: 9
        anchors.bottomMargin: 9
        spacing: 12

        Image {
            source: "qrc:/Zorvane/applogo.svg"
            sourceSize.width: 60
            sourceSize.height: 60
            Layout.preferredWidth: 30
            Layout.preferredHeight: 30
            smooth: true
        }
        ColumnLayout {
            spacing: 1
            Text {
                text: qsTr("Zorvane")
                font.pixelSize: 14
                font.weight: Font.DemiBold
                color: Theme.primary
            }
            Text {
                text: qsTr("PC ⇄ iPhone / Android 传输")
                font.pixelSize: Theme.caption2
                color: Theme.secondary
            }
        }
        Item {
            Layout.fillWidth: true
            Layout.minimumWidth: 8
        }
        DeviceStatusPill {}
        Text {
            visible: ViewModel.wifiErrorMessage.length > 0
            text: ViewModel.wifiErrorMessage
            color: Theme.red
            font.pixelSize: Theme.caption2
            maximumLineCount: 2
            wrapMode: Text.Wrap
            elide: Text.ElideRight
            horizontalAlignment: Text.AlignRight
            Layout.maximumWidth: 180
        }
    }
}
