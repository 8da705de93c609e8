import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// Finding, adding, choosing, pairing and removing TVs.
Item {
    id: page
    objectName: "devicesPage"
    property bool showManual: false

    function addManual() {
        if (controller.addManualHost(hostField.text)) {
            hostField.text = ""
            page.showManual = false
        }
    }
    function submitPin() {
        controller.submitPin(pinField.text)
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
                onClicked: controller.scan()
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
                            scanning: controller.isScanning
                            onClicked: controller.scan()
                        }
                        ColumnLayout {
                            spacing: 4
                            Layout.fillWidth: true
                            SectionTitle { text: qsTr("发现的电视") }
                            UiText {
                                objectName: "discoverySubtitle"
                                text: controller.discoverySubtitle
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
                            text: controller.emptyListText
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
                            model: controller.devices
                            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
                            delegate: DeviceRow {
                                width: deviceList.width
                            }
                        }
                    }

                    Rectangle { Layout.fillWidth: true; height: 1; color: theme.border }

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
                            color: manualToggle.hovered ? theme.controlHover : "transparent"
                            FocusRing { target: manualToggle; radius_: 8 }
                        }
                        contentItem: RowLayout {
                            spacing: 8
                            Icon { Layout.leftMargin: 6; name: "pencil"; size: 15; color: theme.accent }
                            Text {
                                text: manualToggle.text
                                color: theme.accent
                                font.pixelSize: 13
                                font.weight: Font.Medium
                                Layout.fillWidth: true
                            }
                            Icon {
                                Layout.rightMargin: 6
                                name: page.showManual ? "chevron-up" : "chevron-down"
                                size: 14
                                color: theme.textSecondary
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
                            problem: controller.ipProblem(text)
                            onAccepted: page.addManual()
                        }
                        AppButton {
                            objectName: "addAndConnect"
                            kind: "primary"
                            text: qsTr("添加并连接")
                            enabled: controller.isValidAddress(hostField.text)
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
                        text: controller.pairingTitle
                        role: "heading"
                        font.pixelSize: 16
                        Layout.fillWidth: true
                    }

                    StepIndicator {
                        Layout.fillWidth: true
                        step: controller.progressStep
                        allDone: controller.isReady
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
                                active: controller.statusTone === "busy"
                                linked: controller.isReady
                            }

                            UiText {
                                objectName: "pairingStatus"
                                Layout.fillWidth: true
                                text: controller.pairingStatus
                                color: controller.pairingStatusIsError ? theme.danger : theme.textSecondary
                                wrapMode: Text.Wrap
                                horizontalAlignment: Text.AlignHCenter
                                maximumLineCount: 3
                            }

                            RowLayout {
                                visible: controller.showPinEntry
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
                        text: controller.primaryLabel
                        enabled: controller.hasSelection
                        onClicked: controller.primaryAction()
                    }
                    AppButton {
                        objectName: "pinPairButton"
                        Layout.fillWidth: true
                        iconName: "refresh"
                        text: qsTr("使用 PIN 配对")
                        enabled: controller.hasSelection
                        onClicked: controller.pairWithPin()
                    }
                    RowLayout {
                        Layout.alignment: Qt.AlignHCenter
                        spacing: 6
                        Icon { name: "info"; size: 14; color: theme.textTertiary }
                        UiText { text: qsTr("配对后可自动重新连接"); role: "caption"; tertiary: true }
                    }
                }
            }
        }
    }
}
