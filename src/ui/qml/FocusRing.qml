import QtQuick
import QtQuick.Templates as T
import Corvane.Ui

// The keyboard focus outline drawn around a control.
Rectangle {
    property T.Control target
    property real radius_: 8
    anchors.fill: parent
    anchors.margins: -3
    radius: radius_ + 3
    color: "transparent"
    border.color: Theme.focus
    border.width: 2
    visible: target ? target.visualFocus : false
}
