import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

ApplicationWindow {
    id: window
    objectName: "mainWindow"
    title: "Corvane Remote"
    width: 1024
    height: 640
    minimumWidth: 900
    minimumHeight: 640
    visible: true
    color: theme.window

    // "remote", "apps", "devices" or "settings"
    property string currentPage: "remote"

    // The remote page's keys work exactly while that page is on screen.
    Binding {
        target: controller.keyShortcuts
        property: "active"
        value: window.currentPage === "remote"
    }

    palette.window: theme.window
    palette.windowText: theme.text
    palette.base: theme.surface
    palette.text: theme.text
    palette.button: theme.control
    palette.buttonText: theme.text
    palette.highlight: theme.accent
    palette.highlightedText: theme.onAccent
    palette.toolTipBase: theme.surface
    palette.toolTipText: theme.text

    RowLayout {
        anchors.fill: parent
        spacing: 0

        Sidebar {
            Layout.preferredWidth: 190
            Layout.minimumWidth: 190
            Layout.maximumWidth: 190
            Layout.fillHeight: true
            currentPage: window.currentPage
            onPageChosen: (page) => window.currentPage = page
        }

        Loader {
            id: pageLoader
            objectName: "pageLoader"
            Layout.fillWidth: true
            Layout.fillHeight: true
            // Each page is built afresh when shown, so its text fields and toggles start clean.
            sourceComponent: window.currentPage === "apps" ? appsPage
                           : window.currentPage === "devices" ? devicesPage
                           : window.currentPage === "settings" ? settingsPage
                           : remotePage
        }
    }

    Component { id: remotePage; RemotePage {} }
    Component { id: appsPage; AppsPage {} }
    Component { id: devicesPage; DevicesPage {} }
    Component { id: settingsPage; SettingsPage {} }
}
