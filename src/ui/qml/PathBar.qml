import QtQuick
import QtQuick.Controls

// Where a pane's folder lies, one button per level; the strip scrolls sideways when it is long,
// keeping the current folder in view.
Flickable {
    id: bar
    // [{id, title, path}], the current folder last.
    property var crumbs: []
    signal crumbChosen(string path)

    // One height whatever the crumbs hold, so both panes' bands line up.
    implicitHeight: 22
    contentWidth: row.implicitWidth
    contentHeight: row.implicitHeight
    flickableDirection: Flickable.HorizontalFlick
    boundsBehavior: Flickable.StopAtBounds
    clip: true
    onContentWidthChanged: contentX = Math.max(0, contentWidth - width)
    onWidthChanged: contentX = Math.max(0, contentWidth - width)

    Row {
        id: row
        height: bar.height
        leftPadding: 1
        rightPadding: 1
        spacing: 3
        Repeater {
            model: bar.crumbs
            delegate: Row {
                id: step
                height: row.height
                required property var modelData
                required property int index
                readonly property bool last: index === bar.crumbs.length - 1
                spacing: 3
                Symbol {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: step.index >= 1
                    name: "chevron.right"
                    size: 8
                    color: Theme.tertiary
                }
                AbstractButton {
                    objectName: "crumb"
                    anchors.verticalCenter: parent.verticalCenter
                    property string crumbId: step.modelData.id
                    text: step.modelData.title
                    leftPadding: 6
                    rightPadding: 6
                    topPadding: 3
                    bottomPadding: 3
                    contentItem: Text {
                        text: step.modelData.title
                        font.pixelSize: Theme.caption
                        font.weight: step.last ? Font.DemiBold : Font.Normal
                        color: step.last ? Theme.primary : Theme.secondary
                    }
                    background: Rectangle {
                        radius: 5
                        color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, step.last ? 0.10 : 0.04)
                    }
                    onClicked: {
                        if (step.modelData.path.length > 0)
                            bar.crumbChosen(step.modelData.path)
                    }
                }
            }
        }
    }
}
