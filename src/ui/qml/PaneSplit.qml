import QtQuick

// The two panes side by side. The left pane is never narrower than 300 and leaves at least 340
// for the divider and the right pane.
Item {
    id: split
    property real ratio: 0.5
    signal ratioRequested(real value)

    readonly property real leftWidth: Math.min(Math.max(width - 340, 300), Math.max(width * ratio - 4, 300))

    MacPane {
        id: left
        objectName: "macPane"
        x: 0
        width: split.leftWidth
        height: split.height
    }
    SplitHandle {
        id: handle
        objectName: "splitHandle"
        x: left.width
        height: split.height
        totalWidth: split.width
        onRatioRequested: (value) => split.ratioRequested(value)
    }
    IPhonePane {
        objectName: "iphonePane"
        x: handle.x + handle.width
        width: split.width - x
        height: split.height
    }
}
