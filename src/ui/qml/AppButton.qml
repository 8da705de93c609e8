import QtQuick
import QtQuick.Controls.Basic
import Corvane.Ui

// The parts of the look are this component's own, never replaced by a style: their ids may
// make them immediate.
// qmllint disable deferred-property-id

// A text button with an optional leading icon.
// kind: "primary" (filled accent), "secondary" (neutral), "danger" (red text), "ghost" (no fill).
Button {
    id: root
    property string kind: "secondary"
    property string iconName: ""
    property string tooltip: ""
    property bool compact: false

    readonly property color fg: kind === "primary" ? Theme.onAccent
                              : kind === "danger" ? Theme.danger
                              : kind === "ghost" ? Theme.textSecondary : Theme.text
    readonly property color fill: {
        if (kind === "primary")
            return root.down ? Theme.accentPressed : root.hovered ? Theme.accentHover : Theme.accent
        if (kind === "danger")
            return root.down ? Qt.darker(Theme.dangerSoft, 1.08) : root.hovered ? Theme.dangerSoft : Theme.control
        if (kind === "ghost")
            return root.down ? Theme.controlPressed : root.hovered ? Theme.controlHover : "transparent"
        return root.down ? Theme.controlPressed : root.hovered ? Theme.controlHover : Theme.control
    }

    implicitHeight: compact ? 30 : 36
    leftPadding: compact ? 12 : 16
    rightPadding: compact ? 12 : 16
    topPadding: 0
    bottomPadding: 0
    focusPolicy: Qt.StrongFocus
    hoverEnabled: true
    opacity: enabled ? 1.0 : 0.45

    contentItem: Item {
        implicitWidth: (glyph.visible ? glyph.width + row.spacing : 0) + caption.implicitWidth
        implicitHeight: Math.max(glyph.height, caption.implicitHeight)
        Row {
            id: row
            anchors.centerIn: parent
            spacing: 7
            Icon {
                id: glyph
                anchors.verticalCenter: parent.verticalCenter
                visible: root.iconName.length > 0
                name: root.iconName
                color: root.fg
                size: root.compact ? 14 : 16
            }
            Text {
                id: caption
                anchors.verticalCenter: parent.verticalCenter
                text: root.text
                color: root.fg
                font.pixelSize: root.compact ? 12 : 13
                font.weight: root.kind === "primary" ? Font.DemiBold : Font.Medium
                elide: Text.ElideRight
                width: Math.min(implicitWidth, root.availableWidth - (glyph.visible ? glyph.width + row.spacing : 0))
            }
        }
    }

    background: Rectangle {
        radius: 8
        color: root.fill
        border.width: root.kind === "secondary" || root.kind === "danger" ? 1 : 0
        border.color: Theme.border
        Behavior on color { ColorAnimation { duration: 90 } }
        FocusRing { target: root; radius_: 8 }
    }

    AppToolTip {
        text: root.tooltip
        visible: root.tooltip.length > 0 && root.hovered
    }
}
