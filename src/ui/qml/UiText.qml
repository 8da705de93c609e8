import QtQuick
import Corvane.Ui

// Text in the theme's colours; "role" picks size and weight.
Text {
    property string role: "body" // title, heading, subtitle, body, caption, mono
    property bool secondary: false
    property bool tertiary: false

    color: tertiary ? Theme.textTertiary : (secondary ? Theme.textSecondary : Theme.text)
    font.pixelSize: role === "title" ? 24 : role === "heading" ? 15 : role === "subtitle" ? 13
                  : role === "caption" ? 12 : 13
    font.weight: role === "title" || role === "heading" ? Font.DemiBold : Font.Normal
    font.family: role === "mono" ? Theme.monoFamily : Qt.application.font.family // qmllint disable type
    verticalAlignment: Text.AlignVCenter
    elide: Text.ElideRight
    textFormat: Text.PlainText
    linkColor: Theme.accent
}
