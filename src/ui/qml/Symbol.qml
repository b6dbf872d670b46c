import QtQuick

// A symbol by its name, drawn from the desktop icon theme; in `color` when one is given.
Image {
    property string name
    property int size: 16
    property color color: "transparent"
    // Nothing is asked for while hidden: rows scrolling into view make several symbols each.
    source: !visible || name.length === 0 ? ""
          : "image://symbol/" + name + (color.a > 0 ? "?tint=" + color.toString().substring(1) : "")
    sourceSize.width: size
    sourceSize.height: size
    width: size
    height: size
    fillMode: Image.PreserveAspectFit
}
