import QtQuick

// A small indeterminate spinner: an open ring turning while `running`.
Item {
    id: spinner
    property bool running: true
    property color color: Theme.secondary
    implicitWidth: 14
    implicitHeight: 14

    Canvas {
        id: ring
        anchors.fill: parent
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            ctx.lineWidth = 2
            ctx.lineCap = "round"
            ctx.strokeStyle = spinner.color
            ctx.beginPath()
            ctx.arc(width / 2, height / 2, Math.min(width, height) / 2 - 1.5, 0, Math.PI * 1.5)
            ctx.stroke()
        }
        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 900
            loops: Animation.Infinite
            running: spinner.running && spinner.visible
        }
    }
}
