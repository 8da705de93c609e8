import QtQuick
import QtQuick.Controls.Basic
import Corvane.Ui

// A text field with an optional leading icon; the border shows focus and invalid input, and a
// tip says what is wrong while the field has the focus or the pointer.
TextField {
    id: root
    property string iconName: ""
    property string problem: ""
    property bool invalid: problem !== ""
    property bool mono: false

    implicitHeight: 36
    leftPadding: iconName.length > 0 ? 34 : 12
    rightPadding: 12
    color: Theme.text
    placeholderTextColor: Theme.textTertiary
    selectionColor: Theme.selection
    selectedTextColor: Theme.text
    font.pixelSize: 13
    font.family: mono ? Theme.monoFamily : Qt.application.font.family // qmllint disable type
    selectByMouse: true
    verticalAlignment: TextInput.AlignVCenter
    opacity: enabled ? 1.0 : 0.5

    background: Rectangle {
        radius: 8
        color: Theme.surfaceAlt
        border.width: root.activeFocus || root.invalid ? 2 : 1
        border.color: root.invalid ? Theme.danger : root.activeFocus ? Theme.focus : Theme.border
        Icon {
            visible: root.iconName.length > 0
            anchors.left: parent.left
            anchors.leftMargin: 11
            anchors.verticalCenter: parent.verticalCenter
            name: root.iconName
            size: 16
            color: Theme.textTertiary
        }
    }
    AppToolTip {
        objectName: "fieldProblem"
        y: root.height + 4
        delay: 0
        timeout: -1
        visible: root.problem !== "" && (root.activeFocus || root.hovered)
        text: root.problem
    }
}
