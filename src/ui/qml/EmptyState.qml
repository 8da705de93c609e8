import QtQuick
import Corvane.Ui

// A centred symbol and one line of text for a panel with nothing to show.
Column {
    id: root
    property string iconName
    property string text
    spacing: 12
    Rectangle {
        anchors.horizontalCenter: parent.horizontalCenter
        width: 64
        height: 64
        radius: 32
        color: Theme.control
        Icon { anchors.centerIn: parent; name: root.iconName; size: 28; color: Theme.textTertiary }
    }
    Text {
        anchors.horizontalCenter: parent.horizontalCenter
        text: root.text
        font.pixelSize: 13
        color: Theme.textSecondary
    }
}
