import QtQuick

UiText {
    role: "heading"
}
