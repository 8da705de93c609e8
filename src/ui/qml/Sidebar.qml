pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// The fixed left column: mark and name, the TV picker, the page list and the connection state.
Rectangle {
    id: root
    property string currentPage: "remote"
    signal pageChosen(string page)

    readonly property var pages: [
        { page: "remote", title: qsTr("遥控器"), icon: "remote" },
        { page: "apps", title: qsTr("应用与输入"), icon: "grid" },
        { page: "devices", title: qsTr("设备管理"), icon: "tv" },
        { page: "settings", title: qsTr("设置"), icon: "sliders" }
    ]

    color: Theme.sidebar

    Rectangle {
        anchors.right: parent.right
        width: 1
        height: parent.height
        color: Theme.border
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 13
        anchors.topMargin: 20
        anchors.bottomMargin: 16
        spacing: 0

        // mark and name
        RowLayout {
            spacing: 9
            Layout.leftMargin: 2
            Rectangle {
                width: 28
                height: 28
                radius: 8
                gradient: Gradient {
                    GradientStop { position: 0.0; color: "#4C86F4" }
                    GradientStop { position: 1.0; color: "#2450C8" }
                }
                Icon {
                    anchors.centerIn: parent
                    name: "mark"
                    size: 17
                    color: "#ffffff"
                }
            }
            Text {
                text: "Corvane Remote"
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: Theme.text
                Layout.fillWidth: true
                elide: Text.ElideRight
            }
        }

        // TV picker
        Button {
            id: picker
            Layout.topMargin: 22
            objectName: "tvPicker"
            Layout.fillWidth: true
            implicitHeight: 38
            hoverEnabled: true
            focusPolicy: Qt.StrongFocus
            leftPadding: 10
            rightPadding: 10
            text: Controller.pickerLabel
            onClicked: pickerMenu.opened ? pickerMenu.close() : pickerMenu.open()
            contentItem: RowLayout {
                spacing: 8
                Icon { name: "tv"; size: 16; color: Theme.textSecondary }
                Text {
                    text: picker.text
                    color: Theme.text
                    font.pixelSize: 13
                    font.weight: Font.Medium
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                }
                Icon { name: "chevron-down"; size: 14; color: Theme.textSecondary }
            }
            background: Rectangle {
                radius: 8
                color: picker.down || pickerMenu.opened ? Theme.controlPressed : picker.hovered ? Theme.controlHover : Theme.surface
                border.color: Theme.border
                border.width: 1
                FocusRing { target: picker; radius_: 8 }
            }

            Menu {
                id: pickerMenu
                objectName: "tvPickerMenu"
                y: picker.height + 4
                width: Math.max(picker.width, 240)
                padding: 4
                background: Rectangle {
                    implicitWidth: 240
                    radius: 10
                    color: Theme.surface
                    border.color: Theme.border
                }
                Repeater {
                    model: Controller.devices
                    delegate: MenuItem {
                        id: entry
                        required property string deviceID
                        required property string label
                        text: label
                        implicitHeight: 34
                        onTriggered: Controller.chooseFromPicker(entry.deviceID)
                        contentItem: Text {
                            text: entry.text
                            leftPadding: 6
                            color: Theme.text
                            font.pixelSize: 13
                            verticalAlignment: Text.AlignVCenter
                            elide: Text.ElideRight
                        }
                        background: Rectangle {
                            radius: 6
                            color: entry.highlighted ? Theme.controlHover : "transparent"
                        }
                    }
                }
            }
        }

        // pages
        Rectangle {
            Layout.fillWidth: true
            Layout.topMargin: 16
            Layout.bottomMargin: 12
            height: 1
            color: Theme.border
        }
        Repeater {
            model: root.pages
            delegate: AbstractButton {
                id: item
                required property var modelData
                readonly property bool selected: root.currentPage === modelData.page
                objectName: "nav-" + modelData.page
                Layout.fillWidth: true
                Layout.bottomMargin: 2
                implicitHeight: 36
                hoverEnabled: true
                focusPolicy: Qt.StrongFocus
                text: modelData.title
                onClicked: root.pageChosen(modelData.page)
                background: Rectangle {
                    radius: 8
                    color: item.selected ? Theme.accentSoft : item.hovered ? Theme.controlHover : "transparent"
                    FocusRing { target: item; radius_: 8 }
                }
                contentItem: RowLayout {
                    spacing: 10
                    Icon {
                        Layout.leftMargin: 10
                        name: item.modelData.icon
                        size: 17
                        color: item.selected ? Theme.accent : Theme.textSecondary
                    }
                    Text {
                        text: item.text
                        color: item.selected ? Theme.accent : Theme.text
                        font.pixelSize: 13
                        font.weight: item.selected ? Font.DemiBold : Font.Normal
                        Layout.fillWidth: true
                        elide: Text.ElideRight
                    }
                }
            }
        }

        Item { Layout.fillHeight: true }

        // connection at a glance
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 52
            radius: 10
            color: Theme.surface
            border.color: Theme.border
            ColumnLayout {
                anchors.fill: parent
                anchors.leftMargin: 12
                anchors.rightMargin: 12
                anchors.topMargin: 8
                anchors.bottomMargin: 8
                spacing: 2
                RowLayout {
                    spacing: 7
                    StatusDot { tone: Controller.statusTone }
                    Text {
                        text: Controller.statusBadge
                        font.pixelSize: 12
                        font.weight: Font.Medium
                        color: Theme.text
                        Layout.fillWidth: true
                        elide: Text.ElideRight
                    }
                }
                Text {
                    text: Controller.hasSelection ? Controller.selectedHost : Controller.modelText
                    font.pixelSize: 11
                    color: Theme.textTertiary
                    Layout.fillWidth: true
                    elide: Text.ElideRight
                }
            }
        }
    }
}
