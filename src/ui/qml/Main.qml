import QtQuick
import QtQuick.Controls
import QtQuick.Window

ApplicationWindow {
    id: window
    // The preferred size, or less on a small screen (never below the minimum).
    width: Math.max(minimumWidth, Math.min(1180, Screen.desktopAvailableWidth))
    height: Math.max(minimumHeight, Math.min(720, Screen.desktopAvailableHeight))
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
