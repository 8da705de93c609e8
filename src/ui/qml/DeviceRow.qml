import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// One saved TV in the devices list: click selects it, the menu removes it.
AbstractButton {
    id: row
    required property var modelData
    implicitHeight: Math.max(58, implicitContentHeight + 16)
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    Accessible.name: modelData.displayName
    onClicked: controller.selectDevice(modelData.id)

    function openMenu(x, y) {
        rowMenu.popup(row, x, y)
    }

    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: (point) => row.openMenu(point.position.x, point.position.y)
    }

    background: Rectangle {
        radius: 10
        color: row.modelData.selected ? theme.accentSoft : row.down ? theme.controlPressed : row.hovered ? theme.controlHover : "transparent"
        border.width: row.modelData.selected ? 1 : 0
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
            border.width: row.modelData.selected ? 5 : 1.5
            border.color: row.modelData.selected ? theme.accent : theme.borderStrong
        }

        ColumnLayout {
            spacing: 2
            Layout.fillWidth: true
            // The status beside the name leaves the model and address the full width.
            RowLayout {
                spacing: 8
                Layout.fillWidth: true
                UiText {
                    text: row.modelData.displayName
                    font.pixelSize: 14
                    font.weight: Font.DemiBold
                    Layout.fillWidth: true
                }
                Rectangle {
                    visible: row.modelData.status.length > 0
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
                            text: row.modelData.status
                            font.pixelSize: 11
                            color: theme.textSecondary
                        }
                    }
                }
            }
            // In a narrow window the address goes to a second line rather than out of sight.
            UiText {
                text: row.modelData.model + "  ·  " + row.modelData.host
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
            onTriggered: controller.removeDevice(row.modelData.id)
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
