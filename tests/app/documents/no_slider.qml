import QtQuick
import QtQuick.Controls
import marionette_lab 1.0

ApplicationWindow {
    required property Manager manager
    width: 200
    height: 200
    visible: true
    VtkItem {
        objectName: "vtkItem"
        anchors.fill: parent
    }
}
