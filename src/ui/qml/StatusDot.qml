import QtQuick

// A small dot coloured by a status tone: ready, busy, error, standby or offline.
Rectangle {
    property string tone: "offline"
    width: 8
    height: 8
    radius: 4
    color: tone === "ready" ? theme.success
         : tone === "busy" ? theme.warning
         : tone === "error" ? theme.danger
         : tone === "standby" ? theme.warning
         : theme.textTertiary
}
