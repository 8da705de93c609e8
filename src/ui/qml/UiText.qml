import QtQuick

// Text in the theme's colours; "role" picks size and weight.
Text {
    property string role: "body" // title, heading, subtitle, body, caption, mono
    property bool secondary: false
    property bool tertiary: false

    color: tertiary ? theme.textTertiary : (secondary ? theme.textSecondary : theme.text)
    font.pixelSize: role === "title" ? 24 : role === "heading" ? 15 : role === "subtitle" ? 13
                  : role === "caption" ? 12 : 13
    font.weight: role === "title" || role === "heading" ? Font.DemiBold : Font.Normal
    font.family: role === "mono" ? theme.monoFamily : Qt.application.font.family
    verticalAlignment: Text.AlignVCenter
    elide: Text.ElideRight
    textFormat: Text.PlainText
    linkColor: theme.accent
}
