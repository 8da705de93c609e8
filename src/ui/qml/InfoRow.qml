import QtQuick
import QtQuick.Layouts
import Corvane.Ui

// A label and its value in a two-column grid; an empty value shows a dash.
Item {
    id: root
    property string label
    property string value
    property bool mono: false
    property color valueColor: Theme.text
    Layout.fillWidth: true
    Layout.columnSpan: 2
    implicitHeight: 22

    RowLayout {
        anchors.fill: parent
        spacing: 24
        UiText { text: root.label; secondary: true; Layout.preferredWidth: 72 }
        UiText {
            text: root.value.length > 0 ? root.value : "—"
            color: root.value.length > 0 ? root.valueColor : Theme.textTertiary
            font.family: root.mono ? Theme.monoFamily : Qt.application.font.family // qmllint disable
            Layout.fillWidth: true
        }
    }
}
