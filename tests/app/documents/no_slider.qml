import QtQuick
import marionette_lab 1.0

// The view is there, the time slider "slider1" is not.
Window {
    required property Manager manager
    VtkItem { objectName: "vtkItem" }
}
