import QtQuick
import QtQuick.Controls

// A borderless button whose face is a symbol, with a tooltip; it opens `menu` under itself when
// it has one.
ToolButton {
    id: button
    property string symbol
    property int symbolSize: 13
    property string tip
    property Menu menu: null

    flat: true
    implicitWidth: symbolSize + 16
    implicitHeight: symbolSize + 12
    contentItem: Item {
        Symbol {
            anchors.centerIn: parent
            name: button.symbol
            color: button.enabled ? Theme.primary : Theme.tertiary
            size: button.symbolSize
        }
    }
    ToolTip.visible: hovered && tip.length > 0 && !(menu && menu.visible)
    ToolTip.text: tip
    ToolTip.delay: 600
    Accessible.name: tip
    onClicked: {
        if (menu)
            menu.popup(button, 0, button.height)
    }
}
