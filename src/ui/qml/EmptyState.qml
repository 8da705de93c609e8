import QtQuick

// A centred symbol and one line of text for a panel with nothing to show.
Column {
    property string iconName
    property string text
    spacing: 12
    Rectangle {
        anchors.horizontalCenter: parent.horizontalCenter
        width: 64
        height: 64
        radius: 32
        color: theme.control
        Icon { anchors.centerIn: parent; name: parent.parent.iconName; size: 28; color: theme.textTertiary }
    }
    Text {
        anchors.horizontalCenter: parent.horizontalCenter
        text: parent.text
        font.pixelSize: 13
        color: theme.textSecondary
    }
}
