import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

// The selected TV's record, monitor mode, appearance, the MCP service, the log and the protocol trace.
Item {
    id: page
    objectName: "settingsPage"

    Component.onCompleted: Settings.resetSettingsPage()

    // "保存", or Return in the name or MAC field; a mistyped MAC would be saved as no MAC at all.
    function save() {
        if (!Controller.hasSelection || !Settings.isValidMAC(macField.text))
            return
        Settings.saveSelected()
        savedTimer.restart()
    }

    Dialog {
        id: deleteConfirm
        objectName: "deleteConfirm"
        anchors.centerIn: parent
        modal: true
        title: qsTr("删除此电视？")
        standardButtons: Dialog.Ok | Dialog.Cancel
        onAccepted: Settings.deleteSelected()
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
                        InfoRow { label: qsTr("名称"); value: Controller.selectedDisplayName; objectName: "rowName" }
                        InfoRow { label: qsTr("型号"); value: Controller.selectedModel; objectName: "rowModel" }
                        InfoRow { label: qsTr("IP 地址"); value: Controller.selectedHost; mono: true; objectName: "rowHost" }
                        InfoRow { label: qsTr("网卡 MAC"); value: Controller.selectedMAC; mono: true; objectName: "rowMac" }
                        InfoRow {
                            objectName: "rowPaired"
                            label: qsTr("配对状态")
                            value: Controller.hasSelection ? Controller.pairedText : ""
                            valueColor: Controller.selectedPaired ? Theme.success : Theme.textSecondary
                        }
                    }

                    Rectangle { Layout.fillWidth: true; height: 1; color: Theme.border }

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 10
                        AppTextField {
                            id: nameField
                            objectName: "nameField"
                            Layout.fillWidth: true
                            Layout.preferredWidth: 1
                            placeholderText: qsTr("电视名称")
                            enabled: Controller.hasSelection
                            // Follows the record until the user types here.
                            text: Settings.nameField
                            onTextEdited: Settings.editNameField(text)
                            onAccepted: page.save()
                        }
                        AppTextField {
                            id: macField
                            objectName: "macField"
                            Layout.fillWidth: true
                            Layout.preferredWidth: 1
                            placeholderText: "aa:bb:cc:dd:ee:ff"
                            mono: true
                            enabled: Controller.hasSelection
                            problem: Settings.macProblem(text)
                            text: Settings.macField
                            onTextEdited: Settings.editMACField(text)
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
                            enabled: Controller.hasSelection && Settings.isValidMAC(macField.text)
                            onClicked: page.save()
                        }
                        UiText {
                            objectName: "savedNotice"
                            visible: savedTimer.running
                            text: qsTr("已保存")
                            color: Theme.success
                            Timer { id: savedTimer; interval: 2000 }
                        }
                        AppButton {
                            objectName: "wakeButton"
                            iconName: "power"
                            text: qsTr("网络唤醒 (WOL)")
                            enabled: Controller.hasSelection
                            onClicked: Settings.wakeSelected()
                        }
                        Item { Layout.fillWidth: true }
                        AppButton {
                            objectName: "deleteButton"
                            kind: "danger"
                            iconName: "trash"
                            text: qsTr("删除此电视")
                            enabled: Controller.hasSelection
                            // A paired TV would have to accept a new pairing on its screen.
                            onClicked: Controller.selectedPaired ? deleteConfirm.open() : Settings.deleteSelected()
                        }
                    }
                }
            }

            // ---- monitor mode: the TV follows this computer (absent where the app has none)
            // The monitor mode is the program's object, typed QObject here: its properties are
            // known only at run time.
            // qmllint disable type
            Loader {
                Layout.fillWidth: true
                active: Settings.monitorMode !== null
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
                                enabled: Settings.monitorMode.enabled || Controller.selectedPaired
                                checked: Settings.monitorMode.enabled
                                onToggled: Settings.monitorMode.enabled = checked
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
                                readonly property var choices: Settings.monitorMode.inputChoices
                                visible: choices.length > 0
                                options: choices.map(choice => choice.label)
                                currentIndex: Settings.monitorMode.inputIndex
                                onActivated: (index) => Settings.monitorMode.input = choices[index].id
                            }
                            UiText {
                                visible: Settings.monitorMode.inputChoices.length === 0
                                text: qsTr("连接电视后可选择")
                                tertiary: true
                            }
                        }
                        ToggleSwitch {
                            objectName: "monitorPowerOff"
                            Layout.fillWidth: true
                            text: qsTr("休眠/关机时关闭电视")
                            checked: Settings.monitorMode.powerOffOnSleep
                            onToggled: Settings.monitorMode.powerOffOnSleep = checked
                        }
                        ToggleSwitch {
                            objectName: "monitorScreenOff"
                            Layout.fillWidth: true
                            text: qsTr("屏幕关闭时关闭电视画面")
                            checked: Settings.monitorMode.screenOffOnBlank
                            onToggled: Settings.monitorMode.screenOffOnBlank = checked
                        }
                        UiText {
                            objectName: "monitorLastAction"
                            visible: text.length > 0
                            text: Settings.monitorMode.lastAction
                            role: "caption"
                            tertiary: true
                            wrapMode: Text.Wrap
                            Layout.fillWidth: true
                        }
                    }
                }
            }
            // qmllint enable type

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
                        currentIndex: Math.max(0, values.indexOf(Settings.appearance))
                        onActivated: (index) => Settings.setAppearanceChoice(values[index])
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
                            checked: Settings.mcpEnabled
                            onToggled: Settings.setMCPEnabled(checked)
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
                            StatusDot { tone: Settings.mcpRunning ? "ready" : "offline" }
                            UiText { objectName: "mcpStatus"; text: Settings.mcpStatus }
                            UiText {
                                objectName: "mcpError"
                                visible: text.length > 0
                                text: Settings.mcpError
                                color: Theme.danger
                                Layout.fillWidth: true
                            }
                        }
                        UiText { text: qsTr("地址"); secondary: true; Layout.preferredWidth: 72 }
                        TextEdit {
                            objectName: "mcpEndpoint"
                            text: Settings.endpointURL
                            readOnly: true
                            selectByMouse: true
                            color: Theme.text
                            selectionColor: Theme.selection
                            font.family: Theme.monoFamily
                            font.pixelSize: 12
                            Layout.fillWidth: true
                        }
                    }
                    RowLayout {
                        spacing: 10
                        AppButton {
                            objectName: "copyHttp"
                            iconName: Settings.copied === "http" ? "check" : "copy"
                            text: Settings.copied === "http" ? qsTr("已复制") : qsTr("复制 HTTP 配置")
                            onClicked: Settings.copyHTTPConfiguration()
                        }
                        AppButton {
                            objectName: "copyStdio"
                            iconName: Settings.copied === "stdio" ? "check" : "copy"
                            text: Settings.copied === "stdio" ? qsTr("已复制") : qsTr("复制 stdio 配置")
                            onClicked: Settings.copyStdioConfiguration()
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
                        text: Settings.logPath
                        role: "mono"
                        font.pixelSize: 12
                        elide: Text.ElideMiddle
                        Layout.fillWidth: true
                    }
                    AppButton {
                        objectName: "revealLog"
                        iconName: "folder"
                        text: qsTr("在文件管理器中显示")
                        onClicked: Settings.revealLog()
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
                            checked: Settings.tracing
                            onToggled: Settings.setTracing(checked)
                        }
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        visible: Settings.tracePath.length > 0
                        spacing: 12
                        UiText { text: qsTr("记录文件："); secondary: true }
                        UiText {
                            objectName: "tracePath"
                            text: Settings.tracePath
                            role: "mono"
                            font.pixelSize: 12
                            elide: Text.ElideMiddle
                            Layout.fillWidth: true
                        }
                        AppButton {
                            objectName: "revealTrace"
                            iconName: "folder"
                            text: qsTr("在文件管理器中显示")
                            onClicked: Settings.revealTrace()
                        }
                    }
                }
            }

            Item { implicitHeight: 10 }
        }
    }
}
