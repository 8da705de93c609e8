pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// Apps to launch and inputs to switch to.
Item {
    id: page
    objectName: "appsPage"
    property int tab: 0
    property string search: ""

    // The grid shows the apps matching the search box.
    onSearchChanged: Controller.apps.search = search

    // Read both lists when the page opens on a connected TV; nothing while disconnected.
    Component.onCompleted: {
        Controller.apps.search = search
        Controller.loadAppsPage()
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.leftMargin: 28
        anchors.rightMargin: 28
        anchors.topMargin: 24
        anchors.bottomMargin: 24
        spacing: 18

        PageHeader {
            Layout.fillWidth: true
            title: qsTr("应用与输入")
            subtitle: qsTr("启动电视应用或切换输入源")
            StatusPill {
                objectName: "appsStatus"
                tone: Controller.statusTone
                text: Controller.statusBadge
            }
        }

        SegmentedControl {
            id: tabs
            objectName: "appsTabs"
            options: [qsTr("应用"), qsTr("输入源")]
            currentIndex: page.tab
            onActivated: (index) => page.tab = index
        }

        StackLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            currentIndex: page.tab

            // ---- applications
            Item {
                EmptyState {
                    anchors.centerIn: parent
                    visible: !Controller.isReady
                    iconName: "cable"
                    text: qsTr("连接电视后显示应用")
                }
                EmptyState {
                    id: loadingApps
                    anchors.centerIn: parent
                    visible: Controller.isReady && Controller.apps.total === 0
                    iconName: "grid"
                    text: appsRetry.visible ? qsTr("电视没有返回应用列表") : qsTr("正在读取应用列表…")
                    // The list may never come (a failed request): offer to ask again.
                    onVisibleChanged: visible ? appsTimeout.restart() : appsTimeout.stop()
                    Component.onCompleted: if (visible) appsTimeout.restart()
                    Timer { id: appsTimeout; objectName: "appsTimeout"; interval: 8000 }
                }
                AppButton {
                    id: appsRetry
                    objectName: "appsRetry"
                    anchors.horizontalCenter: parent.horizontalCenter
                    anchors.top: loadingApps.bottom
                    anchors.topMargin: 12
                    visible: loadingApps.visible && !appsTimeout.running
                    iconName: "refresh"
                    text: qsTr("重新读取")
                    onClicked: {
                        Controller.loadAppsPage()
                        appsTimeout.restart()
                    }
                }
                ColumnLayout {
                    anchors.fill: parent
                    visible: Controller.isReady && Controller.apps.total > 0
                    spacing: 14

                    AppTextField {
                        objectName: "appSearch"
                        Layout.preferredWidth: 300
                        iconName: "search"
                        placeholderText: qsTr("搜索应用")
                        text: page.search
                        onTextChanged: page.search = text
                    }

                    GridView {
                        id: grid
                        objectName: "appGrid"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        clip: true
                        cellWidth: Math.floor(width / Math.max(1, Math.floor(width / 124)))
                        cellHeight: 128
                        boundsBehavior: Flickable.StopAtBounds
                        model: Controller.apps
                        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
                        delegate: AppCard {
                            required property string appID
                            required property string appTitle
                            required property string appIcon
                            objectName: "app-" + appID
                            width: grid.cellWidth - 12
                            height: grid.cellHeight - 12
                            title: appTitle
                            iconURL: appIcon
                            onClicked: Controller.launchApp(appID)
                        }
                    }
                }
            }

            // ---- inputs
            ColumnLayout {
                spacing: 16

                Card {
                    Layout.fillWidth: true
                    padding: 18
                    RowLayout {
                        anchors.fill: parent
                        spacing: 14
                        Rectangle {
                            width: 44
                            height: 44
                            radius: 12
                            color: Theme.accentSoft
                            Icon { anchors.centerIn: parent; name: "cable"; size: 22; color: Theme.accent }
                        }
                        ColumnLayout {
                            spacing: 3
                            Layout.fillWidth: true
                            UiText { text: qsTr("当前输入"); role: "caption"; secondary: true }
                            UiText {
                                objectName: "currentInput"
                                text: Controller.currentInputText
                                font.pixelSize: 17
                                font.weight: Font.DemiBold
                                Layout.fillWidth: true
                            }
                        }
                        StatusPill {
                            visible: Controller.isReady
                            tone: "ready"
                            text: qsTr("正在使用")
                        }
                    }
                }

                Card {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    padding: 6
                    ListView {
                        id: inputList
                        objectName: "inputList"
                        anchors.fill: parent
                        clip: true
                        spacing: 2
                        boundsBehavior: Flickable.StopAtBounds
                        model: Controller.inputs
                        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
                        delegate: AbstractButton {
                            id: row
                            required property string inputID
                            required property string label
                            required property bool connected
                            required property string connectedText
                            objectName: "input-" + inputID
                            width: inputList.width
                            height: 52
                            hoverEnabled: true
                            focusPolicy: Qt.StrongFocus
                            onClicked: Controller.switchToInput(row.inputID)
                            background: Rectangle {
                                radius: 10
                                color: row.down ? Theme.controlPressed : row.hovered ? Theme.controlHover : "transparent"
                                FocusRing { target: row; radius_: 10 }
                            }
                            contentItem: RowLayout {
                                spacing: 12
                                Icon {
                                    Layout.leftMargin: 12
                                    name: row.connected ? "check-circle" : "circle"
                                    size: 18
                                    color: row.connected ? Theme.success : Theme.textTertiary
                                }
                                UiText {
                                    text: row.label
                                    font.pixelSize: 14
                                    Layout.fillWidth: true
                                }
                                UiText {
                                    Layout.rightMargin: 14
                                    text: row.connectedText
                                    role: "caption"
                                    color: row.connected ? Theme.success : Theme.textTertiary
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}
