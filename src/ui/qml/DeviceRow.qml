import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// One saved TV in the devices list: click selects it, the menu removes it.
AbstractButton {
    id: row
    required property string deviceID
    required property string displayName
    required property string modelName
    required property string host
    required property bool selected
    required property string status
    implicitHeight: 58
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    Accessible.name: displayName
    onClicked: controller.selectDevice(deviceID)

    function openMenu(x, y) {
        rowMenu.popup(row, x, y)
    }

    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: (point) => row.openMenu(point.position.x, point.position.y)
    }

    background: Rectangle {
        radius: 10
        color: row.selected ? theme.accentSoft : row.down ? theme.controlPressed : row.hovered ? theme.controlHover : "transparent"
        border.width: row.selected ? 1 : 0
        border.color: Qt.rgba(theme.accent.r, theme.accent.g, theme.accent.b, 0.35)
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
            border.color: row.selected ? theme.accent : theme.borderStrong
        }

        ColumnLayout {
            spacing: 2
            Layout.fillWidth: true
            UiText {
                text: row.displayName
                font.pixelSize: 14
                font.weight: Font.DemiBold
                Layout.fillWidth: true
            }
            UiText {
                text: row.modelName + "  ·  " + row.host
                role: "caption"
                secondary: true
                Layout.fillWidth: true
            }
        }

        Rectangle {
            visible: row.status.length > 0
            implicitWidth: statusRow.implicitWidth + 16
            implicitHeight: 22
            radius: 11
            color: theme.control
            Row {
                id: statusRow
                anchors.centerIn: parent
                spacing: 5
                Icon { anchors.verticalCenter: parent.verticalCenter; name: "clock"; size: 12; color: theme.textSecondary }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: row.status
                    font.pixelSize: 11
                    color: theme.textSecondary
                }
            }
        }

        IconButton {
            Layout.rightMargin: 6
            iconName: "more"
            size: 28
            iconSize: 16
            kind: "flat"
            iconColor: theme.textSecondary
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
            color: theme.surface
            border.color: theme.border
        }
        MenuItem {
            id: removeItem
            text: qsTr("删除此电视")
            implicitHeight: 34
            onTriggered: controller.removeDevice(row.deviceID)
            contentItem: RowLayout {
                spacing: 8
                Icon { Layout.leftMargin: 6; name: "trash"; size: 15; color: theme.danger }
                Text {
                    text: removeItem.text
                    color: theme.danger
                    font.pixelSize: 13
                    Layout.fillWidth: true
                }
            }
            background: Rectangle {
                radius: 6
                color: removeItem.highlighted ? theme.dangerSoft : "transparent"
            }
        }
    }
}
