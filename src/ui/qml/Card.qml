import QtQuick
import QtQuick.Controls.Basic
import Corvane.Ui

// A raised panel on the page. With a reason set (controls that need a ready TV), its content
// is disabled and hovering it says why.
Pane {
    id: card
    property string disabledReason: ""
    padding: 20
    contentItem.enabled: disabledReason === ""
    background: Rectangle {
        color: Theme.surface
        radius: 14
        border.color: Theme.border
        border.width: 1
    }
    // The card takes the clicks on its empty space: they take the focus out of a text field, so
    // the keys drive the TV again.
    TapHandler { onTapped: card.forceActiveFocus() }
    HoverHandler { id: hover; enabled: card.disabledReason !== "" }
    AppToolTip {
        objectName: "disabledReason"
        visible: hover.hovered && card.disabledReason !== ""
        text: card.disabledReason
    }
}
