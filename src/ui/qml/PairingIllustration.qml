pragma ComponentBehavior: Bound

import QtQuick
import Corvane.Ui

// The computer and the TV joined by a row of dots; the dots travel only while connecting.
Row {
    id: root
    property bool active: false
    property bool linked: false
    spacing: 14

    Rectangle {
        width: 60; height: 60; radius: 16
        color: Theme.control
        Icon { anchors.centerIn: parent; name: "laptop"; size: 30; color: Theme.textSecondary }
    }

    Row {
        id: dots
        anchors.verticalCenter: parent.verticalCenter
        spacing: 7
        property int lit: -1
        Repeater {
            model: 5
            delegate: Rectangle {
                required property int index
                width: 6; height: 6; radius: 3
                color: root.linked || dots.lit === index ? Theme.accent : Theme.borderStrong
            }
        }
        SequentialAnimation {
            running: root.active
            loops: Animation.Infinite
            NumberAnimation { target: dots; property: "lit"; from: 0; to: 4; duration: 900 }
            PauseAnimation { duration: 150 }
            onStopped: dots.lit = -1
        }
    }

    Rectangle {
        width: 60; height: 60; radius: 16
        color: root.linked ? Theme.accentSoft : Theme.control
        Icon { anchors.centerIn: parent; name: "tv"; size: 30; color: root.linked ? Theme.accent : Theme.textSecondary }
    }
}
