pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import Corvane.Ui

// A row of mutually exclusive options on a sunken track.
Rectangle {
    id: root
    property var options: []
    property int currentIndex: 0
    property int segmentWidth: 96
    signal activated(int index)

    implicitWidth: options.length * segmentWidth + 8
    implicitHeight: 36
    radius: 10
    color: Theme.control
    border.color: Theme.border
    border.width: 1

    Row {
        anchors.fill: parent
        anchors.margins: 4
        Repeater {
            model: root.options
            delegate: AbstractButton {
                id: segment
                required property int index
                required property string modelData
                readonly property bool selected: index === root.currentIndex
                objectName: "segment-" + index
                width: root.segmentWidth
                height: parent.height
                hoverEnabled: true
                focusPolicy: Qt.StrongFocus
                checkable: false
                Accessible.role: Accessible.RadioButton
                Accessible.name: modelData
                onClicked: root.activated(index)
                background: Rectangle {
                    radius: 7
                    color: segment.selected ? (Theme.dark ? Theme.controlPressed : Theme.surface) : segment.hovered ? Theme.controlHover : "transparent"
                    border.width: segment.selected ? 1 : 0
                    border.color: Theme.border
                    FocusRing { target: segment; radius_: 7 }
                }
                contentItem: Text {
                    text: segment.modelData
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    font.pixelSize: 13
                    font.weight: segment.selected ? Font.DemiBold : Font.Normal
                    color: segment.selected ? Theme.text : Theme.textSecondary
                    elide: Text.ElideRight
                }
            }
        }
    }
}
