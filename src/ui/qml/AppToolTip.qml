import QtQuick
import QtQuick.Controls.Basic

ToolTip {
    id: tip
    delay: 500
    timeout: 4000
    padding: 6
    leftPadding: 10
    rightPadding: 10
    contentItem: Text {
        text: tip.text
        color: theme.dark ? theme.window : "#ffffff"
        font.pixelSize: 12
    }
    background: Rectangle {
        radius: 6
        color: theme.dark ? "#e6e8ec" : "#2a2d33"
    }
}
