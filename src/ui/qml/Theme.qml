pragma Singleton
import QtQuick

// The window's colours and text sizes in one place.
QtObject {
    readonly property color accent: "#2f7cf6"
    readonly property color primary: "#1d1d1f"
    readonly property color secondary: "#6e6e73"
    readonly property color tertiary: "#a1a1a6"
    readonly property color red: "#e5484d"
    readonly property color orange: "#f08c00"
    readonly property color green: "#2fb344"
    readonly property color gray: "#8e8e93"
    readonly property color windowBackground: "#f5f5f7"
    readonly property color barMaterial: "#ececef"
    readonly property color divider: "#d2d2d7"

    readonly property int headline: 13
    readonly property int subheadline: 12
    readonly property int callout: 12
    readonly property int caption: 11
    readonly property int caption2: 10
    readonly property string fontFamily: "Noto Sans CJK SC"
}
