import QtQuick
import QtQuick.Controls.Basic

// One arrow of the direction pad.
IconButton {
    property string button
    size: 54
    iconSize: 24
    kind: "flat"
    iconColor: theme.text
    Accessible.name: button
    onClicked: session.press(button)
}
