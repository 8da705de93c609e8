import QtQuick
import Corvane.Ui

// A rounded badge with a status dot and a short text.
Rectangle {
    id: root
    property string tone: "offline"
    property string text: ""
    implicitWidth: row.implicitWidth + 20
    implicitHeight: 26
    radius: 13
    color: tone === "ready" ? Theme.successSoft
         : tone === "error" ? Theme.dangerSoft
         : tone === "busy" || tone === "standby" ? Theme.warningSoft
         : Theme.control
    Row {
        id: row
        anchors.centerIn: parent
        spacing: 7
        StatusDot { tone: root.tone; anchors.verticalCenter: parent.verticalCenter }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: root.text
            font.pixelSize: 12
            font.weight: Font.Medium
            color: root.tone === "ready" ? Theme.success
                 : root.tone === "error" ? Theme.danger
                 : root.tone === "busy" || root.tone === "standby" ? Theme.warning
                 : Theme.textSecondary
        }
    }
}
