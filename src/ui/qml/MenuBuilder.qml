import QtQuick
import QtQuick.Controls

// Fills a menu from the view model's state each time it opens (and while it is open): entries,
// inactive lines in a colour, section titles and separators. What is made for the menu gets an owner
// in the scene (the item the menu opens over): items without one belong to the script engine,
// which may collect them while the menu still lists them.
QtObject {
    id: builder
    property Menu menu

    readonly property Component entry: Component {
        MenuItem {
            property var run
            property string symbol
            icon.source: symbol.length > 0 ? "image://symbol/" + symbol : ""
            icon.width: 14
            icon.height: 14
            onTriggered: run()
        }
    }
    // An entry in a colour of its own (a destructive one in red).
    readonly property Component tintedEntry: Component {
        MenuItem {
            id: tinted
            property var run
            property color tint
            contentItem: Text {
                text: tinted.text
                font: tinted.font
                color: tinted.tint
                elide: Text.ElideRight
                verticalAlignment: Text.AlignVCenter
            }
            onTriggered: run()
        }
    }
    readonly property Component line: Component {
        MenuItem {
            id: lineItem
            property color tint: Theme.secondary
            property bool heading: false
            enabled: false
            contentItem: Text {
                text: lineItem.text
                color: lineItem.tint
                font.pixelSize: lineItem.heading ? Theme.caption : Theme.callout
                font.weight: lineItem.heading ? Font.DemiBold : Font.Normal
                wrapMode: Text.Wrap
                leftPadding: lineItem.heading ? 0 : 6
            }
        }
    }
    readonly property Component separator: Component {
        MenuSeparator {}
    }

    function clear() {
        while (menu.count > 0) {
            const item = menu.takeItem(0)
            if (item)
                item.destroy()
        }
    }
    // The menu closes before the action runs: the action changes the state the menu shows, and
    // rebuilding it would take the chosen entry away before the menu could close itself.
    // `tint` colours a destructive entry.
    function addEntry(text, symbol, enabled, action, tint) {
        const target = menu
        const run = () => {
            target.close()
            action()
        }
        menu.addItem(tint === undefined
                     ? entry.createObject(menu.parent, {text: text, symbol: symbol, enabled: enabled, run: run})
                     : tintedEntry.createObject(menu.parent, {text: text, enabled: enabled, run: run, tint: tint}))
    }
    function addLine(text, tint) {
        menu.addItem(line.createObject(menu.parent, {text: text, tint: tint === undefined ? Theme.secondary : tint}))
    }
    // One inactive line per line of a looked-up text.
    function addLines(text) {
        for (const part of text.split("\n"))
            addLine(part)
    }
    function addHeading(text) {
        menu.addItem(line.createObject(menu.parent, {text: text, tint: Theme.primary, heading: true}))
    }
    function addSeparator() {
        menu.addItem(separator.createObject(menu.parent))
    }
}
