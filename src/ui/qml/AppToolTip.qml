import QtQuick
import QtQuick.Controls.Basic
import Corvane.Ui

ToolTip {
    id: tip
    delay: 500
    timeout: 4000
    padding: 6
    leftPadding: 10
    rightPadding: 10
    contentItem: Text {
        text: tip.text
        color: Theme.dark ? Theme.window : "#ffffff"
        font.pixelSize: 12
    }
    background: Rectangle {
        radius: 6
        color: Theme.dark ? "#e6e8ec" : "#2a2d33"
    }
}
