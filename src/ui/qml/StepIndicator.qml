pragma ComponentBehavior: Bound

import QtQuick
import Corvane.Ui

// Three pairing steps; steps before the current one (all of them once connected) are checked.
Item {
    id: root
    property int step: 1
    property bool allDone: false
    readonly property var titles: [qsTr("发现设备"), qsTr("电视确认"), qsTr("连接完成")]

    implicitHeight: 56
    implicitWidth: 300

    // connecting lines behind the circles
    Repeater {
        model: 2
        delegate: Rectangle {
            required property int index
            readonly property bool done: root.allDone || index + 1 < root.step
            x: root.width / 6 + index * root.width / 3 + 16
            y: 13
            width: root.width / 3 - 32
            height: 2
            radius: 1
            color: done ? Theme.accent : Theme.border
        }
    }

    Row {
        anchors.fill: parent
        Repeater {
            model: 3
            delegate: Item {
                id: stepItem
                required property int index
                readonly property int number: index + 1
                readonly property bool done: root.allDone || number < root.step
                readonly property bool current: !root.allDone && number === root.step
                width: root.width / 3
                height: root.height

                Rectangle {
                    id: circle
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: 28
                    height: 28
                    radius: 14
                    color: stepItem.done ? Theme.accent : stepItem.current ? Theme.accentSoft : Theme.surface
                    border.width: stepItem.done ? 0 : 2
                    border.color: stepItem.current ? Theme.accent : Theme.border
                    Icon {
                        anchors.centerIn: parent
                        visible: stepItem.done
                        name: "check"
                        size: 16
                        color: Theme.onAccent
                    }
                    Text {
                        anchors.centerIn: parent
                        visible: !stepItem.done
                        text: stepItem.number
                        font.pixelSize: 12
                        font.weight: Font.DemiBold
                        color: stepItem.current ? Theme.accent : Theme.textTertiary
                    }
                }
                Text {
                    anchors.top: circle.bottom
                    anchors.topMargin: 8
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: root.titles[stepItem.index]
                    font.pixelSize: 12
                    font.weight: stepItem.current ? Font.DemiBold : Font.Normal
                    color: stepItem.done || stepItem.current ? Theme.text : Theme.textTertiary
                }
            }
        }
    }
}
