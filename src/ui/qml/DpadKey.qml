import QtQuick
import Corvane.Ui

// One arrow of the direction pad.
IconButton {
    property string button
    property string label
    size: 54
    iconSize: 24
    kind: "flat"
    iconColor: Theme.text
    Accessible.name: label
    onClicked: Controller.press(button)
}
