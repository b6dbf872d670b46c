import QtQuick

// A symbol by its name, drawn from the desktop icon theme.
Image {
    property string name
    property int size: 16
    source: name.length > 0 ? "image://symbol/" + name : ""
    sourceSize.width: size
    sourceSize.height: size
    width: size
    height: size
    fillMode: Image.PreserveAspectFit
}
