import QtQuick

// The keyboard focus outline drawn around a control.
Rectangle {
    property Item target
    property real radius_: 8
    anchors.fill: parent
    anchors.margins: -3
    radius: radius_ + 3
    color: "transparent"
    border.color: theme.focus
    border.width: 2
    visible: target ? target.visualFocus : false
}
