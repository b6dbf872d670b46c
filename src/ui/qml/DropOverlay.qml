import QtQuick

// Shown over a pane while a drag it would take hovers there: a dashed accent frame and what
// letting go will do.
Item {
    id: overlay
    property string text
    anchors.fill: parent
    anchors.margins: 10

    Rectangle {
        anchors.fill: parent
        radius: 8
        color: Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.08)
    }
    Canvas {
        anchors.fill: parent
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            ctx.strokeStyle = Theme.accent
            ctx.lineWidth = 2
            ctx.setLineDash([3, 2])  // in line widths: 6 on, 4 off
            const r = 8, w = width - 2, h = height - 2
            ctx.beginPath()
            ctx.roundedRect(1, 1, w, h, r, r)
            ctx.stroke()
        }
        onWidthChanged: requestPaint()
        onHeightChanged: requestPaint()
    }
    Text {
        anchors.centerIn: parent
        text: overlay.text
        font.pixelSize: Theme.caption
        color: Theme.accent
    }
}
