import QtQuick
import QtQuick.Controls.Basic

// One arrow of the direction pad.
IconButton {
    property string button
    property string label
    size: 54
    iconSize: 24
    kind: "flat"
    iconColor: theme.text
    Accessible.name: label
    onClicked: controller.press(button)
}
