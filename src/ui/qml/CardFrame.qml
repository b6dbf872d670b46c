import QtQuick
import QtQuick.Layouts

// The common frame of the cards: a column on translucent material, rounded, with a faint outline.
Rectangle {
    id: frame
    default property alias content: column.data
    property real contentWidth: 280

    implicitWidth: contentWidth + 40
    implicitHeight: column.implicitHeight + 40
    radius: 12
    color: Qt.rgba(0.98, 0.98, 0.99, 0.96)
    border.width: 1
    border.color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.12)

    ColumnLayout {
        id: column
        x: 20
        y: 20
        width: frame.contentWidth
        spacing: 14
    }
}
