import QtQuick
import QtQuick.Layouts

// Page title and subtitle, with room for controls on the right.
RowLayout {
    id: root
    property string title
    property string subtitle
    default property alias trailing: trailingRow.data
    spacing: 16

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 4
        UiText { role: "title"; text: root.title; Layout.fillWidth: true }
        UiText { text: root.subtitle; secondary: true; visible: text.length > 0; Layout.fillWidth: true }
    }
    RowLayout {
        id: trailingRow
        spacing: 10
        Layout.alignment: Qt.AlignVCenter
    }
}
