import QtQuick
import Corvane.Ui

// A small dot coloured by a status tone: ready, busy, error, standby or offline.
Rectangle {
    property string tone: "offline"
    width: 8
    height: 8
    radius: 4
    color: tone === "ready" ? Theme.success
         : tone === "busy" ? Theme.warning
         : tone === "error" ? Theme.danger
         : tone === "standby" ? Theme.warning
         : Theme.textTertiary
}
