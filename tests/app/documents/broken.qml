import QtQuick
import marionette_lab 1.0

ApplicationWindow {
    this is not a document
}
