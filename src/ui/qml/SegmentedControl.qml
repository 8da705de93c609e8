import QtQuick
import QtQuick.Controls.Basic

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
    color: theme.control
    border.color: theme.border
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
                    color: segment.selected ? (theme.dark ? theme.controlPressed : theme.surface) : segment.hovered ? theme.controlHover : "transparent"
                    border.width: segment.selected ? 1 : 0
                    border.color: theme.border
                    FocusRing { target: segment; radius_: 7 }
                }
                contentItem: Text {
                    text: segment.modelData
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    font.pixelSize: 13
                    font.weight: segment.selected ? Font.DemiBold : Font.Normal
                    color: segment.selected ? theme.text : theme.textSecondary
                    elide: Text.ElideRight
                }
            }
        }
    }
}
