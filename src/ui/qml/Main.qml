import QtQuick
import QtQuick.Controls.Basic

ApplicationWindow {
    id: window
    title: "Corvane Remote"
    width: 1024
    height: 640
    minimumWidth: 1000
    minimumHeight: 640
    visible: true
}
