import QtQuick
import QtQuick.Controls.Basic
import Corvane.Ui

// The parts of the look are this component's own, never replaced by a style: their ids may
// make them immediate.
// qmllint disable deferred-property-id

// One TV app: its icon from the TV (a placeholder until it arrives) and its title.
AbstractButton {
    id: card
    property string title
    property string iconURL
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    Accessible.name: title

    background: Rectangle {
        radius: 12
        color: card.down ? Theme.controlPressed : card.hovered ? Theme.controlHover : Theme.surface
        border.color: Theme.border
        FocusRing { target: card; radius_: 12 }
    }

    contentItem: Item {
        Rectangle {
            id: tile
            anchors.horizontalCenter: parent.horizontalCenter
            y: 12
            width: 56
            height: 56
            radius: 12
            color: picture.status === Image.Ready ? "transparent" : Theme.control
            Image {
                id: picture
                objectName: "appIcon"
                anchors.fill: parent
                source: card.iconURL.length > 0 ? Controller.iconSource(card.iconURL) : ""
                sourceSize.width: 112
                sourceSize.height: 112
                fillMode: Image.PreserveAspectFit
                asynchronous: true
                smooth: true
                visible: status === Image.Ready
            }
            Icon {
                anchors.centerIn: parent
                visible: picture.status !== Image.Ready
                name: "app"
                size: 26
                color: Theme.textTertiary
            }
        }
        Text {
            anchors.top: tile.bottom
            anchors.topMargin: 8
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.leftMargin: 8
            anchors.rightMargin: 8
            text: card.title
            horizontalAlignment: Text.AlignHCenter
            font.pixelSize: 12
            color: Theme.text
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
        }
    }
}
