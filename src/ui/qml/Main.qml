import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Corvane.Ui

ApplicationWindow {
    id: window
    objectName: "mainWindow"
    title: "Corvane Remote"
    width: 1024
    height: 640
    minimumWidth: 900
    minimumHeight: 640
    visible: true
    color: Theme.window

    // "remote", "apps", "devices" or "settings"
    property string currentPage: "remote"

    // The remote page's keys work exactly while that page is on screen.
    Binding {
        target: Controller.keyShortcuts
        property: "active"
        value: window.currentPage === "remote"
    }

    palette.window: Theme.window
    palette.windowText: Theme.text
    palette.base: Theme.surface
    palette.text: Theme.text
    palette.button: Theme.control
    palette.buttonText: Theme.text
    palette.highlight: Theme.accent
    palette.highlightedText: Theme.onAccent
    palette.toolTipBase: Theme.surface
    palette.toolTipText: Theme.text

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
