import QtQuick
import Zorvane.State
import QtQuick.Controls
import QtQuick.Layouts

// The band of transfer tasks below the panes.
Rectangle {
    id: panel
    property bool expanded: true
    signal toggleRequested()
    readonly property int taskCount: ViewModel.tasks.count
    implicitHeight: column.implicitHeight
    color: Theme.barMaterial

    ColumnLayout {
        id: column
        anchors.left: parent.left
        anchors.right: parent.right
        spacing: 0

        RowLayout {
            Layout.fillWidth: true
            Layout.leftMargin: 14
            Layout.rightMargin: 14
            Layout.topMargin: 8
            Layout.bottomMargin: 8
            spacing: 8
            AbstractButton {
                objectName: "taskPanelToggle"
                Accessible.name: panel.expanded ? qsTr("收起传输任务") : qsTr("展开传输任务")
                contentItem: RowLayout {
                    spacing: 6
                    Symbol {
                        name: panel.expanded ? "chevron.down" : "chevron.right"
                        size: 10
                        color: Theme.primary
                    }
                    Text {
                        text: qsTr("传输任务")
                        font.pixelSize: Theme.subheadline
                        font.weight: Font.Medium
                        color: Theme.primary
                    }
                    Rectangle {
                        visible: panel.taskCount > 0
                        implicitWidth: countText.implicitWidth + 12
                        implicitHeight: countText.implicitHeight + 2
                        radius: height / 2
                        color: Qt.rgba(0, 0, 0, 0.10)
                        Text {
                            id: countText
                            anchors.centerIn: parent
                            text: panel.taskCount
                            font.pixelSize: Theme.caption2
                        }
                    }
                }
                onClicked: panel.toggleRequested()
            }
            Spinner {
                objectName: "activeSpinner"
                visible: ViewModel.tasks.activeCount > 0
                running: visible
            }
            Text {
                objectName: "activeCount"
                visible: ViewModel.tasks.activeCount > 0
                text: qsTr("进行中 %lld").replace("%lld", ViewModel.tasks.activeCount)
                font.pixelSize: Theme.caption2
                color: Theme.secondary
            }
            Item { Layout.fillWidth: true }
            Button {
                objectName: "clearFinishedButton"
                visible: ViewModel.tasks.finishedCount > 0
                text: qsTr("清除已完成")
                font.pixelSize: Theme.caption
                padding: 4
                onClicked: ViewModel.clearFinishedTasks()
            }
        }
        // The divider and the list (or the hint) fold away under the header.
        Item {
            id: body
            objectName: "taskPanelBody"
            Layout.fillWidth: true
            Layout.preferredHeight: panel.expanded ? bodyColumn.implicitHeight : 0
            visible: Layout.preferredHeight > 0
            clip: true
            Behavior on Layout.preferredHeight {
                NumberAnimation { duration: 180; easing.type: Easing.OutCubic }
            }
            ColumnLayout {
                id: bodyColumn
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.top: parent.top
                spacing: 0
                Rectangle {
                    Layout.fillWidth: true
                    height: 1
                    color: Theme.divider
                }
                RowLayout {
                    visible: panel.taskCount === 0
                    Layout.fillWidth: true
                    Layout.leftMargin: 14
                    Layout.rightMargin: 14
                    Layout.topMargin: 10
                    Layout.bottomMargin: 10
                    spacing: 6
                    Symbol { name: "tray"; size: 14; color: Theme.secondary }
                    Text {
                        Layout.fillWidth: true
                        text: qsTr("暂无任务。左栏选中文件点「推送」，右栏选中点「拉取」；也可以直接从右栏拖到左栏拉取，或从左栏拖到右栏推送。")
                        font.pixelSize: Theme.caption
                        color: Theme.secondary
                        wrapMode: Text.Wrap
                    }
                }
                ListView {
                    objectName: "taskList"
                    visible: panel.taskCount > 0
                    Layout.fillWidth: true
                    Layout.preferredHeight: 150
                    clip: true
                    spacing: 6
                    topMargin: 8
                    bottomMargin: 8
                    model: ViewModel.tasks
                    ScrollBar.vertical: ScrollBar { policy: ScrollBar.AlwaysOn }
                    delegate: TaskRow {
                        width: ListView.view.width - 24
                        x: 12
                    }
                }
            }
        }
    }
}
