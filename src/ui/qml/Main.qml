import QtQuick
import QtQuick.Controls

ApplicationWindow {
    id: window
    width: 1180
    height: 720
    minimumWidth: 980
    minimumHeight: 600
    visible: true
    title: qsTr("Zorvane")
    font.family: Theme.fontFamily
    color: Theme.windowBackground

    ContentView {
        anchors.fill: parent
    }
}
