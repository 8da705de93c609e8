import QtQuick
import QtQuick.Controls.Basic
import Corvane.Ui

// A round (or rounded-square) button showing only an icon, with a tooltip.
// kind: "neutral", "primary", "danger", "flat"
Button {
    id: root
    property string iconName
    property int size: 44
    property int iconSize: Math.round(size * 0.42)
    property string kind: "neutral"
    property bool round: true
    property string tooltip: ""
    property color iconColor: kind === "primary" ? Theme.onAccent : kind === "danger" ? Theme.danger : Theme.text

    implicitWidth: size
    implicitHeight: size
    padding: 0
    focusPolicy: Qt.StrongFocus
    hoverEnabled: true
    opacity: enabled ? 1.0 : 0.45

    contentItem: Item {
        Icon {
            anchors.centerIn: parent
            name: root.iconName
            size: root.iconSize
            color: root.iconColor
        }
    }

    background: Rectangle {
        radius: root.round ? width / 2 : 10
        color: {
            if (root.kind === "primary")
                return root.down ? Theme.accentPressed : root.hovered ? Theme.accentHover : Theme.accent
            if (root.kind === "danger")
                return root.down ? Qt.darker(Theme.dangerSoft, 1.1) : root.hovered ? Qt.darker(Theme.dangerSoft, 1.04) : Theme.dangerSoft
            if (root.kind === "flat")
                return root.down ? Theme.controlPressed : root.hovered ? Theme.controlHover : "transparent"
            return root.down ? Theme.controlPressed : root.hovered ? Theme.controlHover : Theme.control
        }
        border.width: root.kind === "neutral" ? 1 : 0
        border.color: Theme.border
        Behavior on color { ColorAnimation { duration: 90 } }
        FocusRing { target: root; radius_: parent.radius }
    }

    AppToolTip {
        text: root.tooltip
        visible: root.tooltip.length > 0 && root.hovered
    }
}
