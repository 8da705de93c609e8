import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// The remote control: status and power, direction pad, volume, touchpad and text entry.
FocusScope {
    id: page
    objectName: "remotePage"

    function sendText() {
        if (Controller.sendText(textBox.text))
            textBox.text = ""
    }

    // A click on empty space takes the focus out of the text box, so the keys drive the TV again.
    MouseArea {
        anchors.fill: parent
        z: -1
        onPressed: (mouse) => { page.forceActiveFocus(); mouse.accepted = false }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.leftMargin: 28
        anchors.rightMargin: 28
        anchors.topMargin: 24
        anchors.bottomMargin: 24
        spacing: 20

        // ---- header
        RowLayout {
            Layout.fillWidth: true
            spacing: 16

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 6
                UiText { role: "title"; text: qsTr("遥控器") }
                RowLayout {
                    spacing: 6
                    Icon { name: "wifi"; size: 15; color: Theme.textSecondary }
                    UiText {
                        objectName: "hostLine"
                        text: Controller.hostLine
                        secondary: true
                        Layout.fillWidth: true
                    }
                }
                UiText { text: qsTr("方向键 / 回车 / Esc 可直接控制"); role: "caption"; tertiary: true }
            }

            Rectangle {
                Layout.alignment: Qt.AlignTop
                implicitWidth: statusRow.implicitWidth + 28
                implicitHeight: statusRow.implicitHeight + 20
                radius: 14
                color: Theme.surface
                border.color: Theme.border

                RowLayout {
                    id: statusRow
                    anchors.centerIn: parent
                    spacing: 16
                    ColumnLayout {
                        spacing: 6
                        RowLayout {
                            spacing: 10
                            StatusPill {
                                objectName: "statusBadge"
                                tone: Controller.statusTone
                                text: Controller.statusBadge
                            }
                            UiText {
                                objectName: "modelText"
                                text: Controller.modelText
                                font.weight: Font.DemiBold
                                font.pixelSize: 14
                                Layout.maximumWidth: 220
                            }
                        }
                        RowLayout {
                            spacing: 6
                            visible: Controller.foregroundText !== ""
                            Icon { name: "cable"; size: 14; color: Theme.textSecondary }
                            UiText {
                                objectName: "foregroundApp"
                                text: Controller.foregroundText
                                role: "caption"
                                secondary: true
                                Layout.maximumWidth: 250
                            }
                        }
                    }
                    IconButton {
                        objectName: "powerButton"
                        iconName: "power"
                        size: 44
                        iconSize: 20
                        kind: Controller.powerWakes ? "neutral" : "danger"
                        tooltip: Controller.powerTooltip
                        Accessible.name: Controller.powerTooltip
                        onClicked: Controller.powerButton()
                    }
                }
            }
        }

        // ---- what the TV refused, said once above the controls
        Rectangle {
            objectName: "inputNoticeBar"
            Layout.fillWidth: true
            visible: Controller.inputNotice !== ""
            implicitHeight: noticeRow.implicitHeight + 18
            radius: 10
            color: Theme.warningSoft
            border.color: Theme.warning

            RowLayout {
                id: noticeRow
                anchors.fill: parent
                anchors.leftMargin: 14
                anchors.rightMargin: 14
                spacing: 8
                Icon { name: "info"; size: 15; color: Theme.warning }
                UiText {
                    objectName: "inputNotice"
                    text: Controller.inputNotice
                    wrapMode: Text.Wrap
                    elide: Text.ElideNone
                    Layout.fillWidth: true
                }
            }
        }

        // ---- body
        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 20

            ColumnLayout {
                Layout.preferredWidth: 320
                Layout.maximumWidth: 340
                Layout.fillHeight: true
                spacing: 16

                // direction pad
                Card {
                    disabledReason: Controller.needsTVReason
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    padding: 18
                    ColumnLayout {
                        anchors.fill: parent
                        spacing: 16

                        Item { Layout.fillHeight: true }
                        Item {
                            id: dpad
                            Layout.alignment: Qt.AlignHCenter
                            implicitWidth: 200
                            implicitHeight: 200

                            Rectangle {
                                anchors.fill: parent
                                radius: width / 2
                                color: Theme.surfaceAlt
                                border.color: Theme.border
                            }
                            DpadKey { objectName: "keyUp"; button: "UP"; label: qsTr("上"); iconName: "chevron-up"; anchors.top: parent.top; anchors.topMargin: 4; anchors.horizontalCenter: parent.horizontalCenter }
                            DpadKey { objectName: "keyDown"; button: "DOWN"; label: qsTr("下"); iconName: "chevron-down"; anchors.bottom: parent.bottom; anchors.bottomMargin: 4; anchors.horizontalCenter: parent.horizontalCenter }
                            DpadKey { objectName: "keyLeft"; button: "LEFT"; label: qsTr("左"); iconName: "chevron-left"; anchors.left: parent.left; anchors.leftMargin: 4; anchors.verticalCenter: parent.verticalCenter }
                            DpadKey { objectName: "keyRight"; button: "RIGHT"; label: qsTr("右"); iconName: "chevron-right"; anchors.right: parent.right; anchors.rightMargin: 4; anchors.verticalCenter: parent.verticalCenter }

                            AbstractButton {
                                id: okButton
                                objectName: "okButton"
                                opacity: enabled ? 1.0 : 0.5
                                anchors.centerIn: parent
                                width: 78
                                height: 78
                                hoverEnabled: true
                                focusPolicy: Qt.StrongFocus
                                text: "OK"
                                onClicked: Controller.click()
                                background: Rectangle {
                                    radius: width / 2
                                    color: okButton.down ? Theme.accentPressed : okButton.hovered ? Theme.accentHover : Theme.accent
                                    FocusRing { target: okButton; radius_: width / 2 }
                                }
                                contentItem: Text {
                                    text: okButton.text
                                    color: Theme.onAccent
                                    font.pixelSize: 17
                                    font.weight: Font.Bold
                                    horizontalAlignment: Text.AlignHCenter
                                    verticalAlignment: Text.AlignVCenter
                                }
                            }
                        }

                        RowLayout {
                            Layout.fillWidth: true
                            spacing: 8
                            AppButton { objectName: "keyBack"; compact: true; leftPadding: 8; rightPadding: 8; text: qsTr("返回"); iconName: "back"; Layout.fillWidth: true; onClicked: Controller.press("BACK") }
                            AppButton { objectName: "keyHome"; compact: true; leftPadding: 8; rightPadding: 8; text: qsTr("主页"); iconName: "home"; Layout.fillWidth: true; onClicked: Controller.press("HOME") }
                            AppButton { objectName: "keyMenu"; compact: true; leftPadding: 8; rightPadding: 8; text: qsTr("菜单"); iconName: "menu"; Layout.fillWidth: true; onClicked: Controller.press("MENU") }
                        }
                    }
                }

                // volume
                Card {
                    disabledReason: Controller.needsTVReason
                    Layout.fillWidth: true
                    padding: 18
                    ColumnLayout {
                        anchors.fill: parent
                        spacing: 12
                        RowLayout {
                            spacing: 8
                            SectionTitle { text: qsTr("音量") }
                            Icon {
                                objectName: "speakerIcon"
                                name: Controller.muted ? "speaker-slash" : "speaker-wave"
                                size: 17
                                color: Controller.muted ? Theme.danger : Theme.textSecondary
                            }
                            Item { Layout.fillWidth: true }
                            AppButton {
                                objectName: "muteButton"
                                compact: true
                                kind: Controller.muted ? "primary" : "secondary"
                                text: Controller.muteLabel
                                onClicked: Controller.toggleMute()
                            }
                        }
                        RowLayout {
                            spacing: 10
                            IconButton {
                                objectName: "volumeDown"
                                iconName: "minus"
                                size: 38
                                iconSize: 16
                                tooltip: ""
                                onClicked: Controller.volumeDown()
                            }
                            Slider {
                                id: volumeSlider
                                objectName: "volumeSlider"
                                Layout.fillWidth: true
                                from: 0
                                to: 100
                                stepSize: 1
                                snapMode: Slider.SnapAlways
                                focusPolicy: Qt.NoFocus
                                value: Controller.volume
                                onMoved: Controller.volumeDragged(value)
                                onPressedChanged: if (!pressed) Controller.volumeReleased()
                                background: Rectangle {
                                    x: volumeSlider.leftPadding
                                    y: volumeSlider.topPadding + volumeSlider.availableHeight / 2 - height / 2
                                    width: volumeSlider.availableWidth
                                    height: 6
                                    radius: 3
                                    color: Theme.control
                                    border.color: Theme.border
                                    Rectangle {
                                        width: volumeSlider.visualPosition * parent.width
                                        height: parent.height
                                        radius: 3
                                        color: Controller.muted ? Theme.textTertiary : Theme.accent
                                    }
                                }
                                handle: Rectangle {
                                    x: volumeSlider.leftPadding + volumeSlider.visualPosition * (volumeSlider.availableWidth - width)
                                    y: volumeSlider.topPadding + volumeSlider.availableHeight / 2 - height / 2
                                    width: 18
                                    height: 18
                                    radius: 9
                                    color: volumeSlider.pressed ? Theme.control : Theme.surface
                                    border.color: Controller.muted ? Theme.textTertiary : Theme.accent
                                    border.width: 2
                                }
                            }
                            UiText {
                                id: volumeLabel
                                objectName: "volumeText"
                                text: Controller.volumeText
                                font.pixelSize: 14
                                font.weight: Font.DemiBold
                                horizontalAlignment: Text.AlignRight
                                // Room for "100" in any font.
                                Layout.preferredWidth: Math.ceil(volumeWidest.advanceWidth)
                                TextMetrics { id: volumeWidest; font: volumeLabel.font; text: "100" }
                            }
                            IconButton {
                                objectName: "volumeUp"
                                iconName: "plus"
                                size: 38
                                iconSize: 16
                                onClicked: Controller.volumeUp()
                            }
                        }
                    }
                }
            }

            // touchpad and text entry
            Card {
                disabledReason: Controller.needsTVReason
                Layout.fillWidth: true
                Layout.fillHeight: true
                padding: 18
                ColumnLayout {
                    anchors.fill: parent
                    spacing: 14

                    SectionTitle { text: qsTr("触控板") }

                    Rectangle {
                        id: surface
                        objectName: "touchpad"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        Layout.minimumHeight: 160
                        radius: 12
                        color: surfaceArea.pressed ? Theme.control : Theme.surfaceAlt
                        border.color: surfaceArea.pressed ? Theme.accent : Theme.border
                        border.width: surfaceArea.pressed ? 2 : 1

                        TouchpadModel {
                            id: touchpad
                            objectName: "touchpadModel"
                            onMoveRequested: (dx, dy) => Controller.move(dx, dy)
                            onClickRequested: Controller.click()
                            onScrollRequested: (steps) => Controller.scroll(steps) // dropped without a pointer
                        }

                        Column {
                            anchors.centerIn: parent
                            width: parent.width - 24
                            spacing: 10
                            Icon {
                                anchors.horizontalCenter: parent.horizontalCenter
                                name: "cursor"
                                size: 30
                                color: Theme.textTertiary
                            }
                            Text {
                                width: parent.width
                                horizontalAlignment: Text.AlignHCenter
                                wrapMode: Text.Wrap
                                text: qsTr("拖动移动 · 点击确认 · 双指滚动")
                                font.pixelSize: 12
                                color: Theme.textTertiary
                            }
                        }

                        MouseArea {
                            id: surfaceArea
                            anchors.fill: parent
                            property point last
                            cursorShape: Qt.PointingHandCursor
                            onPressed: (mouse) => {
                                page.forceActiveFocus()
                                last = Qt.point(mouse.x, mouse.y)
                                touchpad.mouseDown()
                            }
                            onPositionChanged: (mouse) => {
                                const dx = mouse.x - last.x
                                const dy = mouse.y - last.y
                                last = Qt.point(mouse.x, mouse.y)
                                if (dx !== 0 || dy !== 0)
                                    touchpad.mouseDragged(dx, dy)
                            }
                            onReleased: touchpad.mouseUp()
                            onWheel: (wheel) => touchpad.wheel(wheel.pixelDelta.y, wheel.angleDelta.y)
                        }
                    }

                    RowLayout {
                        id: textRow
                        Layout.fillWidth: true
                        spacing: 10
                        AppTextField {
                            id: textBox
                            objectName: "textBox"
                            Layout.fillWidth: true
                            iconName: "keyboard"
                            placeholderText: qsTr("向电视输入文字")
                            onAccepted: page.sendText()
                            Keys.onEscapePressed: page.forceActiveFocus()
                        }
                        // Too narrow for the field's hint and the caption both (English at the
                        // narrowest window): the button keeps its icon and says it as a tip.
                        TextMetrics { id: hintMetrics; font: textBox.font; text: textBox.placeholderText }
                        TextMetrics { id: sendMetrics; font.pixelSize: 13; font.weight: Font.DemiBold; text: sendButton.caption }
                        AppButton {
                            id: sendButton
                            objectName: "sendButton"
                            readonly property string caption: qsTr("发送文字")
                            readonly property bool roomy: textRow.width >= textBox.leftPadding + hintMetrics.advanceWidth
                                + textBox.rightPadding + textRow.spacing + leftPadding + 16 + 7 + sendMetrics.advanceWidth + rightPadding
                            kind: "primary"
                            iconName: "send"
                            text: roomy ? caption : ""
                            tooltip: roomy ? "" : caption
                            Accessible.name: caption
                            enabled: textBox.text !== ""
                            onClicked: page.sendText()
                        }
                    }
                }
            }
        }
    }
}
