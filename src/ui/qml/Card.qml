import QtQuick
import QtQuick.Controls.Basic

// A raised panel on the page.
Pane {
    padding: 20
    background: Rectangle {
        color: theme.surface
        radius: 14
        border.color: theme.border
        border.width: 1
    }
}
