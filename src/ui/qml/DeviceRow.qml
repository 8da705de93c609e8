import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// The parts of the look are this component's own, never replaced by a style: their ids may
// make them immediate.
// qmllint disable deferred-property-id

// One saved TV in the devices list: click selects it, the menu removes it.
AbstractButton {
    id: row
    required property string deviceID
    required property string displayName
    required property string modelName
    required property string host
    required property bool selected
    required property string status
    implicitHeight: Math.max(58, implicitContentHeight + 16)
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    Accessible.name: displayName
    onClicked: Controller.selectDevice(deviceID)

    function openMenu(x, y) {
        rowMenu.popup(row, x, y)
    }

    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: (point) => row.openMenu(point.position.x, point.position.y)
    }

    background: Rectangle {
        radius: 10
        color: row.selected ? Theme.accentSoft : row.down ? Theme.controlPressed : row.hovered ? Theme.controlHover : "transparent"
        border.width: row.selected ? 1 : 0
        border.color: Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.35)
        FocusRing { target: row; radius_: 10 }
    }

    contentItem: RowLayout {
        spacing: 12

        // selection mark: a filled ring for the selected TV, an empty circle otherwise
        Rectangle {
            Layout.leftMargin: 12
            width: 18
            height: 18
            radius: 9
            color: "transparent"
            border.width: row.selected ? 5 : 1.5
            border.color: row.selected ? Theme.accent : Theme.borderStrong
        }

        ColumnLayout {
            spacing: 2
            Layout.fillWidth: true
            // The status beside the name leaves the model and address the full width.
            RowLayout {
                spacing: 8
                Layout.fillWidth: true
                UiText {
                    text: row.displayName
                    font.pixelSize: 14
                    font.weight: Font.DemiBold
                    Layout.fillWidth: true
                }
                Rectangle {
                    visible: row.status.length > 0
                    implicitWidth: statusRow.implicitWidth + 16
                    implicitHeight: 22
                    radius: 11
                    color: Theme.control
                    Row {
                        id: statusRow
                        anchors.centerIn: parent
                        spacing: 5
                        Icon { anchors.verticalCenter: parent.verticalCenter; name: "clock"; size: 12; color: Theme.textSecondary }
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: row.status
                            font.pixelSize: 11
                            color: Theme.textSecondary
                        }
                    }
                }
            }
            // In a narrow window the address goes to a second line rather than out of sight.
            UiText {
                text: row.modelName + "  ·  " + row.host
                role: "caption"
                secondary: true
                wrapMode: Text.Wrap
                maximumLineCount: 2
                Layout.fillWidth: true
            }
        }

        IconButton {
            Layout.rightMargin: 6
            iconName: "more"
            size: 28
            iconSize: 16
            kind: "flat"
            iconColor: Theme.textSecondary
            opacity: row.hovered || activeFocus || rowMenu.opened ? 1 : 0
            Accessible.name: qsTr("删除此电视")
            onClicked: rowMenu.popup(this, 0, height)
        }
    }

    Menu {
        id: rowMenu
        padding: 4
        background: Rectangle {
            implicitWidth: 160
            radius: 10
            color: Theme.surface
            border.color: Theme.border
        }
        MenuItem {
            id: removeItem
            text: qsTr("删除此电视")
            implicitHeight: 34
            onTriggered: Controller.removeDevice(row.deviceID)
            contentItem: RowLayout {
                spacing: 8
                Icon { Layout.leftMargin: 6; name: "trash"; size: 15; color: Theme.danger }
                Text {
                    text: removeItem.text
                    color: Theme.danger
                    font.pixelSize: 13
                    Layout.fillWidth: true
                }
            }
            background: Rectangle {
                radius: 6
                color: removeItem.highlighted ? Theme.dangerSoft : "transparent"
            }
        }
    }
}
