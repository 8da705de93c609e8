import QtQuick
import Corvane.Ui

// A bundled line icon tinted with one colour.
Image {
    id: root
    property string name
    property color color: Theme.text
    property int size: 18

    width: size
    height: size
    sourceSize.width: size
    sourceSize.height: size
    source: name.length > 0 ? "image://icon/" + name + "/" + root.color.toString().substring(1) : ""
    fillMode: Image.PreserveAspectFit
    smooth: true
}
