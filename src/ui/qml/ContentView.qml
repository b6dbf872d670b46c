import QtQuick
import QtQuick.Layouts

// Header, the two panes with their divider, and the task panel, stacked without spacing.
Item {
    id: content
    property real splitRatio: 0.5
    property bool tasksExpanded: true

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        HeaderBar {
            Layout.fillWidth: true
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
}
