import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The selected TV's record, monitor mode, appearance, the MCP service, the log and the protocol trace.
Item {
    id: page
    objectName: "settingsPage"

    Component.onCompleted: settings.resetSettingsPage()

    // "保存", or Return in the name or MAC field; a mistyped MAC would be saved as no MAC at all.
    function save() {
        if (!controller.hasSelection || !settings.isValidMAC(macField.text))
            return
        settings.saveSelected()
        savedTimer.restart()
    }

    Dialog {
        id: deleteConfirm
        objectName: "deleteConfirm"
        anchors.centerIn: parent
        modal: true
        title: qsTr("删除此电视？")
        standardButtons: Dialog.Ok | Dialog.Cancel
        onAccepted: settings.deleteSelected()
        UiText {
            width: 320
            wrapMode: Text.Wrap
            text: qsTr("此电视已配对。删除后再次连接时，需要在电视上重新确认配对。")
        }
    }

    ScrollView {
        id: scroller
        anchors.fill: parent
        contentWidth: availableWidth
        ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

        ColumnLayout {
            id: column
            x: 28
            width: scroller.availableWidth - 56
            spacing: 18

            Item { implicitHeight: 6 }

            PageHeader {
                Layout.fillWidth: true
                title: qsTr("设置")
                subtitle: qsTr("电视连接、外观与 MCP 服务")
            }

            // ---- the selected TV
            Card {
                Layout.fillWidth: true
                ColumnLayout {
                    anchors.fill: parent
                    spacing: 14

                    GridLayout {
                        Layout.fillWidth: true
                        columns: 2
                        columnSpacing: 24
                        rowSpacing: 10
                        InfoRow { label: qsTr("名称"); value: controller.selectedDisplayName; objectName: "rowName" }
                        InfoRow { label: qsTr("型号"); value: controller.selectedModel; objectName: "rowModel" }
                        InfoRow { label: qsTr("IP 地址"); value: controller.selectedHost; mono: true; objectName: "rowHost" }
                        InfoRow { label: qsTr("网卡 MAC"); value: controller.selectedMAC; mono: true; objectName: "rowMac" }
                        InfoRow {
                            objectName: "rowPaired"
                            label: qsTr("配对状态")
                            value: controller.hasSelection ? controller.pairedText : ""
                            valueColor: controller.selectedPaired ? theme.success : theme.textSecondary
                        }
                    }

                    Rectangle { Layout.fillWidth: true; height: 1; color: theme.border }

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 10
                        AppTextField {
                            id: nameField
                            objectName: "nameField"
                            Layout.fillWidth: true
                            Layout.preferredWidth: 1
                            placeholderText: qsTr("电视名称")
                            enabled: controller.hasSelection
                            // Follows the record until the user types here.
                            text: settings.nameField
                            onTextEdited: settings.editNameField(text)
                            onAccepted: page.save()
                        }
                        AppTextField {
                            id: macField
                            objectName: "macField"
                            Layout.fillWidth: true
                            Layout.preferredWidth: 1
                            placeholderText: "aa:bb:cc:dd:ee:ff"
                            mono: true
                            enabled: controller.hasSelection
                            problem: settings.macProblem(text)
                            text: settings.macField
                            onTextEdited: settings.editMACField(text)
                            onAccepted: page.save()
                        }
                    }

                    RowLayout {
                        spacing: 10
                        AppButton {
                            objectName: "saveButton"
                            kind: "primary"
                            text: qsTr("保存")
                            // A mistyped MAC would be saved as no MAC at all.
                            enabled: controller.hasSelection && settings.isValidMAC(macField.text)
                            onClicked: page.save()
                        }
                        UiText {
                            objectName: "savedNotice"
                            visible: savedTimer.running
                            text: qsTr("已保存")
                            color: theme.success
                            Timer { id: savedTimer; interval: 2000 }
                        }
                        AppButton {
                            objectName: "wakeButton"
                            iconName: "power"
                            text: qsTr("网络唤醒 (WOL)")
                            enabled: controller.hasSelection
                            onClicked: settings.wakeSelected()
                        }
                        Item { Layout.fillWidth: true }
                        AppButton {
                            objectName: "deleteButton"
                            kind: "danger"
                            iconName: "trash"
                            text: qsTr("删除此电视")
                            enabled: controller.hasSelection
                            // A paired TV would have to accept a new pairing on its screen.
                            onClicked: controller.selectedPaired ? deleteConfirm.open() : settings.deleteSelected()
                        }
                    }
                }
            }

            // ---- monitor mode: the TV follows this computer (absent where the app has none)
            Loader {
                Layout.fillWidth: true
                active: monitorMode !== null
                sourceComponent: Card {
                    ColumnLayout {
                        anchors.fill: parent
                        spacing: 12
                        RowLayout {
                            Layout.fillWidth: true
                            SectionTitle { text: qsTr("显示器模式"); Layout.fillWidth: true }
                            ToggleSwitch {
                                objectName: "monitorSwitch"
                                text: qsTr("启用")
                                enabled: monitorMode.enabled || controller.selectedPaired
                                checked: monitorMode.enabled
                                onToggled: monitorMode.enabled = checked
                            }
                        }
                        UiText {
                            text: qsTr("电视作为这台电脑的屏幕：休眠时关闭、唤醒后打开并切换到电脑所在输入。电视正在显示其他输入时不做任何操作。窗口关闭后程序留在托盘中，并随登录启动。")
                            secondary: true
                            wrapMode: Text.Wrap
                            Layout.fillWidth: true
                        }
                        RowLayout {
                            spacing: 12
                            UiText { text: qsTr("电脑所在输入"); secondary: true }
                            SegmentedControl {
                                objectName: "monitorInput"
                                readonly property var choices: monitorMode.inputChoices
                                visible: choices.length > 0
                                options: choices.map(choice => choice.label)
                                currentIndex: monitorMode.inputIndex
                                onActivated: (index) => monitorMode.input = choices[index].id
                            }
                            UiText {
                                visible: monitorMode.inputChoices.length === 0
                                text: qsTr("连接电视后可选择")
                                tertiary: true
                            }
                        }
                        ToggleSwitch {
                            objectName: "monitorPowerOff"
                            Layout.fillWidth: true
                            text: qsTr("休眠/关机时关闭电视")
                            checked: monitorMode.powerOffOnSleep
                            onToggled: monitorMode.powerOffOnSleep = checked
                        }
                        ToggleSwitch {
                            objectName: "monitorScreenOff"
                            Layout.fillWidth: true
                            text: qsTr("屏幕关闭时关闭电视画面")
                            checked: monitorMode.screenOffOnBlank
                            onToggled: monitorMode.screenOffOnBlank = checked
                        }
                        UiText {
                            objectName: "monitorLastAction"
                            visible: text.length > 0
                            text: monitorMode.lastAction
                            role: "caption"
                            tertiary: true
                            wrapMode: Text.Wrap
                            Layout.fillWidth: true
                        }
                    }
                }
            }

            // ---- appearance
            Card {
                Layout.fillWidth: true
                ColumnLayout {
                    anchors.fill: parent
                    spacing: 12
                    SectionTitle { text: qsTr("外观") }
                    SegmentedControl {
                        objectName: "appearanceChoice"
                        readonly property var values: ["system", "light", "dark"]
                        options: [qsTr("跟随系统"), qsTr("浅色"), qsTr("深色")]
                        currentIndex: Math.max(0, values.indexOf(settings.appearance))
                        onActivated: (index) => settings.setAppearanceChoice(values[index])
                    }
                    UiText { text: qsTr("语言跟随系统设置。"); role: "caption"; tertiary: true }
                }
            }

            // ---- MCP service
            Card {
                Layout.fillWidth: true
                ColumnLayout {
                    anchors.fill: parent
                    spacing: 12
                    RowLayout {
                        Layout.fillWidth: true
                        SectionTitle { text: qsTr("MCP 服务"); Layout.fillWidth: true }
                        ToggleSwitch {
                            objectName: "mcpSwitch"
                            text: qsTr("启用")
                            checked: settings.mcpEnabled
                            onToggled: settings.setMcpEnabled(checked)
                        }
                    }
                    UiText {
                        text: qsTr("让 AI Agent 通过 Model Context Protocol 控制电视。服务仅监听本机。")
                        secondary: true
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                    }
                    GridLayout {
                        Layout.fillWidth: true
                        columns: 2
                        columnSpacing: 24
                        rowSpacing: 10
                        UiText { text: qsTr("状态"); secondary: true; Layout.preferredWidth: 72 }
                        RowLayout {
                            spacing: 8
                            Layout.fillWidth: true
                            StatusDot { tone: settings.mcpRunning ? "ready" : "offline" }
                            UiText { objectName: "mcpStatus"; text: settings.mcpStatus }
                            UiText {
                                objectName: "mcpError"
                                visible: text.length > 0
                                text: settings.mcpError
                                color: theme.danger
                                Layout.fillWidth: true
                            }
                        }
                        UiText { text: qsTr("地址"); secondary: true; Layout.preferredWidth: 72 }
                        TextEdit {
                            objectName: "mcpEndpoint"
                            text: settings.endpointURL
                            readOnly: true
                            selectByMouse: true
                            color: theme.text
                            selectionColor: theme.selection
                            font.family: theme.monoFamily
                            font.pixelSize: 12
                            Layout.fillWidth: true
                        }
                    }
                    RowLayout {
                        spacing: 10
                        AppButton {
                            objectName: "copyHttp"
                            iconName: settings.copied === "http" ? "check" : "copy"
                            text: settings.copied === "http" ? qsTr("已复制") : qsTr("复制 HTTP 配置")
                            onClicked: settings.copyHttpConfiguration()
                        }
                        AppButton {
                            objectName: "copyStdio"
                            iconName: settings.copied === "stdio" ? "check" : "copy"
                            text: settings.copied === "stdio" ? qsTr("已复制") : qsTr("复制 stdio 配置")
                            onClicked: settings.copyStdioConfiguration()
                        }
                    }
                }
            }

            // ---- log
            Card {
                Layout.fillWidth: true
                RowLayout {
                    anchors.fill: parent
                    spacing: 12
                    UiText { text: qsTr("日志："); secondary: true }
                    UiText {
                        objectName: "logPath"
                        text: settings.logPath
                        role: "mono"
                        font.pixelSize: 12
                        elide: Text.ElideMiddle
                        Layout.fillWidth: true
                    }
                    AppButton {
                        objectName: "revealLog"
                        iconName: "folder"
                        text: qsTr("在文件管理器中显示")
                        onClicked: settings.revealLog()
                    }
                }
            }

            // ---- protocol trace, for bug reports
            Card {
                Layout.fillWidth: true
                ColumnLayout {
                    anchors.fill: parent
                    spacing: 12
                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 12
                        UiText {
                            text: qsTr("报告电视问题时附上记录文件；配对密钥、PIN 和输入的文字不会记入。")
                            secondary: true
                            wrapMode: Text.Wrap
                            Layout.fillWidth: true
                        }
                        ToggleSwitch {
                            objectName: "traceSwitch"
                            text: qsTr("记录通信（诊断）")
                            checked: settings.tracing
                            onToggled: settings.setTracing(checked)
                        }
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        visible: settings.tracePath.length > 0
                        spacing: 12
                        UiText { text: qsTr("记录文件："); secondary: true }
                        UiText {
                            objectName: "tracePath"
                            text: settings.tracePath
                            role: "mono"
                            font.pixelSize: 12
                            elide: Text.ElideMiddle
                            Layout.fillWidth: true
                        }
                        AppButton {
                            objectName: "revealTrace"
                            iconName: "folder"
                            text: qsTr("在文件管理器中显示")
                            onClicked: settings.revealTrace()
                        }
                    }
                }
            }

            Item { implicitHeight: 10 }
        }
    }
}
