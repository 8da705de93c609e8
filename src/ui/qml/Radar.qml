import QtQuick
import QtQuick.Controls.Basic
import Corvane.Ui

// The parts of the look are this component's own, never replaced by a style: their ids may
// make them immediate.
// qmllint disable deferred-property-id

// The discovery radar: rings at rest, a sweeping beam only while a scan runs.
AbstractButton {
    id: root
    property bool scanning: false
    implicitWidth: 64
    implicitHeight: 64
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    Accessible.name: qsTr("雷达")

    readonly property color ringColor: Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.35)

    background: Item {
        Rectangle {
            anchors.fill: parent
            radius: width / 2
            color: root.hovered ? Qt.darker(Theme.accentSoft, Theme.dark ? 0.85 : 1.04) : Theme.accentSoft
            border.color: root.ringColor
            border.width: 1
        }
        Rectangle {
            anchors.centerIn: parent
            width: parent.width * 0.64
            height: width
            radius: width / 2
            color: "transparent"
            border.color: root.ringColor
            border.width: 1
        }
        Rectangle {
            anchors.centerIn: parent
            width: parent.width * 0.30
            height: width
            radius: width / 2
            color: "transparent"
            border.color: root.ringColor
            border.width: 1
        }
        Canvas {
            id: beam
            anchors.fill: parent
            visible: root.scanning
            onPaint: {
                const ctx = getContext("2d")
                const r = width / 2
                ctx.reset()
                const gradient = ctx.createConicalGradient(r, r, 0)
                gradient.addColorStop(0.0, Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.75))
                gradient.addColorStop(0.18, Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.0))
                gradient.addColorStop(1.0, Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.0))
                ctx.fillStyle = gradient
                ctx.beginPath()
                ctx.moveTo(r, r)
                ctx.arc(r, r, r - 1, 0, Math.PI * 2, false)
                ctx.closePath()
                ctx.fill()
            }
            Connections {
                target: Theme
                function onChanged() { beam.requestPaint() }
            }
            RotationAnimator on rotation {
                from: 360
                to: 0
                duration: 1800
                loops: Animation.Infinite
                running: root.scanning
            }
        }
        // the beam's edge at rest
        Rectangle {
            visible: !root.scanning
            x: parent.width / 2
            y: parent.height / 2 - 0.75
            width: parent.width / 2 - 4
            height: 1.5
            color: Theme.accent
            opacity: 0.6
        }
        Rectangle {
            anchors.centerIn: parent
            width: 7
            height: 7
            radius: 3.5
            color: Theme.accent
        }
        FocusRing { target: root; radius_: width / 2 }
    }
    contentItem: Item {}
}
