import QtQuick
import QtQuick.Controls.Basic
import Corvane.Ui

// An on/off switch with its label on the left.
Switch {
    id: root
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    spacing: 10
    leftPadding: 0
    rightPadding: 0
    opacity: enabled ? 1.0 : 0.45

    indicator: Rectangle {
        implicitWidth: 42
        implicitHeight: 24
        x: root.width - width - root.rightPadding
        y: (root.height - height) / 2
        radius: 12
        color: root.checked ? (root.hovered ? Theme.accentHover : Theme.accent) : (root.hovered ? Theme.controlPressed : Theme.borderStrong)
        Rectangle {
            width: 18
            height: 18
            radius: 9
            y: 3
            x: root.checked ? parent.width - width - 3 : 3
            color: "#ffffff"
            Behavior on x { NumberAnimation { duration: 120; easing.type: Easing.OutCubic } }
        }
        FocusRing { target: root; radius_: 12 }
    }

    contentItem: Text {
        text: root.text
        rightPadding: root.indicator.width + root.spacing
        verticalAlignment: Text.AlignVCenter
        font.pixelSize: 13
        color: Theme.text
    }
}
