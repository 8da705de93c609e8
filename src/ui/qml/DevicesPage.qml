pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// Finding, adding, choosing, pairing and removing TVs.
Item {
    id: page
    objectName: "devicesPage"
    property bool showManual: false

    function addManual() {
        if (Controller.addManualHost(hostField.text)) {
            hostField.text = ""
            page.showManual = false
        }
    }
    function submitPin() {
        Controller.submitPin(pinField.text)
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.leftMargin: 28
        anchors.rightMargin: 28
        anchors.topMargin: 24
        anchors.bottomMargin: 24
        spacing: 20

        PageHeader {
            Layout.fillWidth: true
            title: qsTr("设备管理")
            subtitle: qsTr("在同一网络中发现并管理您的 LG 电视")
            AppButton {
                objectName: "addTVButton"
                kind: "primary"
                iconName: "plus-circle"
                text: qsTr("添加电视")
                onClicked: Controller.scan()
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 20

            // ---- discovery
            Card {
                Layout.fillWidth: true
                Layout.fillHeight: true
                padding: 18
                ColumnLayout {
                    anchors.fill: parent
                    spacing: 14

                    RowLayout {
                        spacing: 14
                        Radar {
                            objectName: "radar"
                            scanning: Controller.isScanning
                            onClicked: Controller.scan()
                        }
                        ColumnLayout {
                            spacing: 4
                            Layout.fillWidth: true
                            SectionTitle { text: qsTr("发现的电视") }
                            UiText {
                                objectName: "discoverySubtitle"
                                text: Controller.discoverySubtitle
                                secondary: true
                                role: "caption"
                                Layout.fillWidth: true
                            }
                        }
                    }

                    Item {
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        Layout.minimumHeight: 80

                        UiText {
                            objectName: "emptyList"
                            anchors.centerIn: parent
                            width: parent.width - 24
                            visible: deviceList.count === 0
                            text: Controller.emptyListText
                            secondary: true
                            wrapMode: Text.Wrap
                            horizontalAlignment: Text.AlignHCenter
                        }

                        ListView {
                            id: deviceList
                            objectName: "deviceList"
                            anchors.fill: parent
                            clip: true
                            spacing: 4
                            boundsBehavior: Flickable.StopAtBounds
                            model: Controller.devices
                            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
                            delegate: DeviceRow {
                                width: deviceList.width
                            }
                        }
                    }

                    Rectangle { Layout.fillWidth: true; height: 1; color: Theme.border }

                    AbstractButton {
                        id: manualToggle
                        objectName: "manualToggle"
                        Layout.fillWidth: true
                        implicitHeight: 32
                        hoverEnabled: true
                        focusPolicy: Qt.StrongFocus
                        text: qsTr("手动输入 IP")
                        onClicked: page.showManual = !page.showManual
                        background: Rectangle {
                            radius: 8
                            color: manualToggle.hovered ? Theme.controlHover : "transparent"
                            FocusRing { target: manualToggle; radius_: 8 }
                        }
                        contentItem: RowLayout {
                            spacing: 8
                            Icon { Layout.leftMargin: 6; name: "pencil"; size: 15; color: Theme.accent }
                            Text {
                                text: manualToggle.text
                                color: Theme.accent
                                font.pixelSize: 13
                                font.weight: Font.Medium
                                Layout.fillWidth: true
                            }
                            Icon {
                                Layout.rightMargin: 6
                                name: page.showManual ? "chevron-up" : "chevron-down"
                                size: 14
                                color: Theme.textSecondary
                            }
                        }
                    }

                    RowLayout {
                        visible: page.showManual
                        Layout.fillWidth: true
                        spacing: 10
                        AppTextField {
                            id: hostField
                            objectName: "hostField"
                            Layout.fillWidth: true
                            placeholderText: qsTr("例如 192.168.1.105")
                            mono: text.length > 0
                            problem: Controller.ipProblem(text)
                            onAccepted: page.addManual()
                        }
                        AppButton {
                            objectName: "addAndConnect"
                            kind: "primary"
                            text: qsTr("添加并连接")
                            enabled: Controller.isValidAddress(hostField.text)
                            onClicked: page.addManual()
                        }
                    }
                }
            }

            // ---- pairing
            Card {
                Layout.preferredWidth: 340
                Layout.minimumWidth: 300
                Layout.fillHeight: true
                padding: 20
                ColumnLayout {
                    anchors.fill: parent
                    spacing: 16

                    UiText {
                        objectName: "pairingTitle"
                        text: Controller.pairingTitle
                        role: "heading"
                        font.pixelSize: 16
                        Layout.fillWidth: true
                    }

                    StepIndicator {
                        Layout.fillWidth: true
                        step: Controller.progressStep
                        allDone: Controller.isReady
                    }

                    Item {
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        implicitHeight: middle.implicitHeight
                        ColumnLayout {
                            id: middle
                            anchors.verticalCenter: parent.verticalCenter
                            width: parent.width
                            spacing: 16

                            PairingIllustration {
                                Layout.alignment: Qt.AlignHCenter
                                active: Controller.statusTone === "busy"
                                linked: Controller.isReady
                            }

                            UiText {
                                objectName: "pairingStatus"
                                Layout.fillWidth: true
                                text: Controller.pairingStatus
                                color: Controller.pairingStatusIsError ? Theme.danger : Theme.textSecondary
                                wrapMode: Text.Wrap
                                horizontalAlignment: Text.AlignHCenter
                                maximumLineCount: 3
                            }

                            RowLayout {
                                visible: Controller.showPinEntry
                                Layout.fillWidth: true
                                spacing: 8
                                AppTextField {
                                    id: pinField
                                    objectName: "pinField"
                                    Layout.fillWidth: true
                                    placeholderText: qsTr("输入电视上的 PIN")
                                    mono: text.length > 0
                                    onAccepted: page.submitPin()
                                }
                                AppButton {
                                    objectName: "submitPin"
                                    kind: "primary"
                                    text: qsTr("提交")
                                    onClicked: page.submitPin()
                                }
                            }
                        }
                    }

                    AppButton {
                        objectName: "primaryButton"
                        Layout.fillWidth: true
                        kind: "primary"
                        text: Controller.primaryLabel
                        enabled: Controller.hasSelection
                        onClicked: Controller.primaryAction()
                    }
                    AppButton {
                        objectName: "pinPairButton"
                        Layout.fillWidth: true
                        iconName: "refresh"
                        text: qsTr("使用 PIN 配对")
                        enabled: Controller.hasSelection
                        onClicked: Controller.pairWithPin()
                    }
                    RowLayout {
                        Layout.alignment: Qt.AlignHCenter
                        spacing: 6
                        Icon { name: "info"; size: 14; color: Theme.textTertiary }
                        UiText { text: qsTr("配对后可自动重新连接"); role: "caption"; tertiary: true }
                    }
                }
            }
        }
    }
}
