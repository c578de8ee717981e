import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Fusion
import QtQuick.Controls.impl
import QtQuick.Layouts
import QtQuick.Dialogs
import Qt.labs.platform as Platform
import marionette_lab 1.0

// The window keeps no state of its own: every control reads a Manager property by
// binding and, when the user changes it, writes that property and then calls the
// Manager command that carries the change to the 3D view.
//
// Object names: start-up looks up "slider1" and "vtkItem"; every other control
// carries a name too (tool buttons "<what>Button", menu items "<what>MenuItem",
// the property spin boxes the name of their Manager property) so that tests and
// tools can find it.
ApplicationWindow {
    id: appWindow

    required property Manager manager

    readonly property var modelFileFilters: ["FBX Autodesk(*.fbx)", "glTF Khronos(*.gltf)",
        "glTF Binary(*.glb)", "DAE Collada(*.dae)", "All files (*)"]
    readonly property var exportFileFilters: ["glTF Binary(*.glb)", "glTF Khronos(*.gltf)",
        "DAE Collada(*.dae)", "FBX Autodesk(*.fbx)", "All files (*)"]

    // The start-up code links the Manager with the view only once the window has
    // been created: index changes that the controls make while they are being
    // set up must not reach the Manager's commands.
    property bool created: false

    width: 860
    height: 620
    // Below this the tool bar's buttons and the side panel's fields no longer fit.
    minimumWidth: 860
    minimumHeight: 560
    visible: true
    title: manager.modelNames.length > 0 ? manager.modelNames[0] : "Marionette-Lab 3D"

    // Model index of a tree row's first column. Qt 6.4.3 renamed the view's
    // modelIndex(column, row) to index(row, column).
    function treeRowIndex(row) {
        return typeof treeView.index === "function" ? treeView.index(row, 0)
                                                    : treeView.modelIndex(0, row)
    }

    Component.onCompleted: created = true

    function setView(up, right) {
        manager.upDirection = up
        manager.rightDirection = right
        manager.updateDirection()
    }

    // After an axis combo box: the new orientation is easiest to judge against the
    // grid, so it comes on. The direction task redraws the grid itself, hence no
    // updateShowGrid(); the grid button and menu item follow showGrid by binding.
    function directionChosen() {
        manager.updateDirection()
        manager.showGrid = true
    }

    function localPath(fileUrl) {
        return decodeURIComponent(fileUrl.toString().replace(/^file:\/\//, ""))
    }

    // Every path segment escaped, so "#" or "?" in a name stay part of the path.
    function localFileUrl(path) {
        const encoded = path.split("/").map(encodeURIComponent).join("/")
        return (path.startsWith("/") ? "file://" : "file:///") + encoded
    }

    function openModelFiles(urls) {
        splashWindow.show()
        manager.openModelUrls(urls)
    }

    function addModelFile(urls) {
        splashWindow.show()
        for (const url of urls)
            manager.addModelUrl(url)
    }

    // ---- Reusable pieces ------------------------------------------------------

    // Integer spin box that shows its value divided by 10^decimals: the Manager
    // keeps transform values in hundredths. With no decimals it takes only whole
    // numbers, as the style's own spin box does.
    component SpinBoxDbl: SpinBox {
        id: spinBoxDbl

        property int decimals: 2
        readonly property int factor: Math.pow(10, decimals)

        from: 0
        to: 100000
        stepSize: factor
        editable: true
        Layout.preferredWidth: 60
        validator: decimals > 0 ? decimalValidator : wholeNumberValidator
        textFromValue: (value, locale) => Number(value / factor).toLocaleString(locale, "f", decimals)
        valueFromText: (text, locale) => Math.round(Number.fromLocaleString(locale, text) * factor)

        DoubleValidator {
            id: decimalValidator
            bottom: Math.min(spinBoxDbl.from, spinBoxDbl.to)
            top: Math.max(spinBoxDbl.from, spinBoxDbl.to)
            decimals: spinBoxDbl.decimals
            notation: DoubleValidator.StandardNotation
        }
        IntValidator {
            id: wholeNumberValidator
            locale: spinBoxDbl.locale.name
            bottom: Math.min(spinBoxDbl.from, spinBoxDbl.to)
            top: Math.max(spinBoxDbl.from, spinBoxDbl.to)
        }
    }

    // A menu entry that shows its action's key on the right.
    component KeyedMenuItem: MenuItem {
        id: keyed
        readonly property string keys: action ? action.shortcut : ""
        contentItem: RowLayout {
            spacing: 24
            Label {
                Layout.fillWidth: true
                text: keyed.text.replace("&", "")
                color: keyed.highlighted ? keyed.palette.highlightedText : keyed.palette.windowText
            }
            Label {
                objectName: "shortcutLabel"
                text: keyed.keys
                opacity: 0.7
                color: keyed.highlighted ? keyed.palette.highlightedText : keyed.palette.windowText
            }
        }
    }

    component AxisLabel: Label {
        required property int axis
        text: ["X:", "Y:", "Z:"][axis]
        leftPadding: axis === 0 ? 10 : 0
    }

    // Three spin boxes "X:", "Y:", "Z:" for three Manager properties; an edit writes
    // its property, then calls the Manager command that applies all three. Each box
    // is named after its property.
    component XyzRow: RowLayout {
        id: xyzRow

        required property Manager target
        required property var names
        // What the three boxes set, for their accessible names ("Camera position X").
        required property string title
        required property string command
        property int decimals: 0
        property int from: -1000000
        property int to: 1000000

        function edit(name, value) {
            target[name] = value
            target[command]()
        }

        Repeater {
            model: xyzRow.names
            delegate: RowLayout {
                required property int index
                required property string modelData
                AxisLabel { axis: index }
                SpinBoxDbl {
                    objectName: modelData
                    Accessible.name: xyzRow.title + " " + ["X", "Y", "Z"][index]
                    decimals: xyzRow.decimals
                    from: xyzRow.from
                    to: xyzRow.to
                    value: xyzRow.target[modelData]
                    onValueModified: xyzRow.edit(modelData, value)
                }
            }
        }
    }

    component Separator: Rectangle {
        Layout.fillWidth: true
        Layout.preferredHeight: 2
        height: 2
        color: "#cdcdcd"
    }

    component RowTitle: Label {
        leftPadding: 10
    }

    component AxisComboBox: ComboBox {
        Layout.preferredWidth: 45
        model: ["+X", "+Y", "+Z", "-X", "-Y", "-Z"]
    }

    // An icon with a tip. A button of a shared action keeps its own icon and takes
    // no text: the action's text is the menu's wording, whose "&" letter would
    // otherwise become an Alt key of the whole window.
    component ToolIconButton: ToolButton {
        property string iconFile
        property string tip
        text: ""
        icon.source: iconFile ? "qrc:/marionette_lab/icons/" + iconFile : ""
        icon.width: 20
        icon.height: 20
        // Keep the icons' own colours instead of the style's monochrome tint.
        icon.color: "transparent"
        display: AbstractButton.IconOnly
        ToolTip.visible: hovered
        ToolTip.delay: 500
        ToolTip.text: tip
        Accessible.name: tip
    }

    // The platform's own file dialog where the desktop provides one; Qt Quick's
    // dialog otherwise (a bare X server has no dialog service, and the native
    // dialog would then silently not appear). open() tries the native one first.
    component FileChooser: QtObject {
        id: chooser

        required property Window window
        property int fileMode: Platform.FileDialog.OpenFile
        property var nameFilters: []
        property bool nativeUnavailable: false
        // Shown when there is no native dialog; it reports through filesChosen.
        property QtObject fallbackDialog: quickDialog
        readonly property QtObject nativeDialog: Platform.FileDialog {
            fileMode: chooser.fileMode
            nameFilters: chooser.nameFilters
            parentWindow: chooser.window
            onAccepted: chooser.filesChosen(fileMode === Platform.FileDialog.OpenFiles ? files : [file])
        }
        readonly property QtObject quickDialog: FileDialog {
            fileMode: chooser.fileMode
            nameFilters: chooser.nameFilters
            parentWindow: chooser.window
            onAccepted: chooser.filesChosen(fileMode === FileDialog.OpenFiles ? selectedFiles : [selectedFile])
        }

        signal filesChosen(var urls)

        function open() {
            if (!nativeUnavailable) {
                nativeDialog.open()
                if (nativeDialog.visible)
                    return
                nativeUnavailable = true
            }
            fallbackDialog.open()
        }
    }

    // ---- Commands of the menus and the tool bar ---------------------------------

    // Each serves a menu entry and a button (or box); their keys act anywhere in
    // the window. The menus show the text and key, the tool bar its own icon and tip.
    Action {
        id: openAction
        text: "&Open.."
        shortcut: "Ctrl+O"
        onTriggered: openChooser.open()
    }
    Action {
        id: addAction
        text: "&Add a model file.."
        shortcut: "Ctrl+Shift+O"
        onTriggered: addChooser.open()
    }
    Action {
        id: exportAction
        text: "&Export scene.."
        shortcut: "Ctrl+E"
        onTriggered: exportChooser.open()
    }
    Action {
        id: quitAction
        text: "&Quit"
        shortcut: "Ctrl+Q"
        onTriggered: Qt.quit()
    }
    // Not checkable: the play button would then look pressed while a clip plays,
    // beside its stop icon.
    Action {
        id: playAction
        text: "&Toggle"
        shortcut: "Space"
        onTriggered: {
            manager.findAnimatedModel()
            manager.playToggle()
        }
    }
    Action {
        id: frameSceneAction
        text: "&Frame the scene"
        shortcut: "Home"
        onTriggered: manager.cameraReset()
    }
    Action {
        id: skeletonAction
        text: "S&keletons"
        checkable: true
        checked: manager.showSkeleton
        onTriggered: {
            manager.showSkeleton = checked
            manager.updateShowSkeleton()
        }
    }
    Action {
        id: gridAction
        text: "&Grid"
        checkable: true
        checked: manager.showGrid
        onTriggered: {
            manager.showGrid = checked
            manager.updateShowGrid()
        }
    }
    Action {
        id: axesAction
        text: "&Axes"
        checkable: true
        checked: manager.showAxes
        onTriggered: {
            manager.showAxes = checked
            manager.updateShowAxes()
        }
    }
    Action {
        id: sceneLightAction
        text: "&Scene spotlight"
        checkable: true
        checked: manager.sceneLight
        onTriggered: {
            manager.sceneLight = checked
            manager.updateSceneLight()
        }
    }
    Action {
        id: lightWidgetAction
        text: "&Show/Hide light widget"
        checkable: true
        checked: manager.showLightWidget
        enabled: manager.sceneLight
        onTriggered: {
            manager.showLightWidget = checked
            manager.updateShowLightWidget()
        }
    }
    Action {
        id: aboutAction
        text: "&About"
        onTriggered: aboutDialog.open()
    }

    // Keys that act anywhere in the window, as the frame step buttons do.
    Shortcut {
        sequence: "Left"
        onActivated: manager.stepFrames(-1)
    }
    Shortcut {
        sequence: "Right"
        onActivated: manager.stepFrames(1)
    }

    // Model files dropped on the window open as the open dialog would, or join the
    // scene as an add when Shift is held. A drop with anything else in it changes
    // nothing and says so.
    DropArea {
        objectName: "dropArea"
        anchors.fill: parent
        onEntered: drag => drag.accepted = drag.hasUrls
        onDropped: drop => {
            if (!drop.hasUrls)
                return
            drop.accept(Qt.CopyAction)
            if (!drop.urls.every(url => manager.isModelFile(url))) {
                openErrorDialog.open()
                return
            }
            if (manager.shiftHeld())
                addModelFile(drop.urls)
            else
                openModelFiles(drop.urls)
        }
    }

    // ---- Manager events -------------------------------------------------------

    Connections {
        target: manager
        // A failed load still ends with openSourceEnd, but the splash must not
        // stay over the error message meanwhile.
        function onOpenSourceError() {
            splashWindow.hide()
            openErrorDialog.open()
        }
        function onOpenSourceEnd() {
            if (!manager.loading)
                splashWindow.hide()
            treeView.expandRecursively(-1, 1)
        }
        function onExportSourceError() {
            exportErrorDialog.informativeText = manager.exportMessage
            exportErrorDialog.open()
        }
        function onFileReportReady(report) {
            fileReportArea.text = report
            fileReportDialog.open()
        }
        function onViewImageSaved(message) {
            statusLabel.show(message)
        }
        // A plain success is said in passing; what the file lacks needs the user's eye.
        function onExportSourceEnd() {
            const lines = manager.exportMessage.split("\n")
            if (lines.length > 1) {
                exportNoticeDialog.text = lines[0]
                exportNoticeDialog.informativeText = lines.slice(1).join("\n")
                exportNoticeDialog.open()
            } else {
                statusLabel.show(lines[0])
            }
        }
    }

    // ---- Menus ----------------------------------------------------------------

    menuBar: MenuBar {
        objectName: "menuBar"

        Menu {
            objectName: "fileMenu"
            title: "&File"
            KeyedMenuItem {
                objectName: "openMenuItem"
                action: openAction
            }
            Menu {
                id: recentFilesSubMenu
                objectName: "recentFilesSubMenu"
                title: "Recent Files"
                width: 400
                enabled: recentFilesInstantiator.count > 0
                onClosed: vtkItem.forceActiveFocus()

                Instantiator {
                    id: recentFilesInstantiator
                    objectName: "recentFilesInstantiator"
                    model: manager.recentFiles
                    delegate: MenuItem {
                        required property string modelData
                        text: manager.displayableFilePath(modelData)
                        objectName: text + "MenuItem"
                        contentItem: Text {
                            text: modelData
                            color: "blue"
                            elide: Text.ElideMiddle
                            verticalAlignment: Text.AlignVCenter
                        }
                        // A reopened file shows no splash window. The open rebuilds
                        // this list, so the menus are closed first and the open waits
                        // until this entry's handler has returned.
                        onTriggered: {
                            const path = modelData
                            recentFilesSubMenu.dismiss()
                            Qt.callLater(() => manager.openModels([path]))
                        }
                    }
                    onObjectAdded: (index, object) => recentFilesSubMenu.insertItem(index, object)
                    onObjectRemoved: (index, object) => recentFilesSubMenu.removeItem(object)
                }
                MenuSeparator {}
                MenuItem {
                    objectName: "clearRecentFilesMenuItem"
                    text: "Clear Recent Files"
                    onTriggered: manager.clearRecentFiles()
                }
            }
            KeyedMenuItem {
                objectName: "addMenuItem"
                action: addAction
            }
            KeyedMenuItem {
                objectName: "exportMenuItem"
                action: exportAction
            }
            MenuItem {
                objectName: "saveViewMenuItem"
                text: "Save view as image.."
                onTriggered: saveViewDialog.open()
            }
            MenuSeparator {}
            KeyedMenuItem {
                objectName: "quitMenuItem"
                action: quitAction
            }
        }
        Menu {
            objectName: "animationMenu"
            title: "&Animation"
            KeyedMenuItem {
                objectName: "toggleMenuItem"
                action: playAction
            }
        }
        Menu {
            objectName: "viewMenu"
            title: "&View"
            MenuItem {
                objectName: "fileReportMenuItem"
                text: "File &report.."
                enabled: manager.modelNames.length > 0
                onTriggered: manager.requestFileReport()
            }
            KeyedMenuItem {
                objectName: "frameSceneMenuItem"
                action: frameSceneAction
            }
            MenuSeparator {}
            MenuItem {
                objectName: "skeletonMenuItem"
                action: skeletonAction
            }
            MenuItem {
                objectName: "gridMenuItem"
                action: gridAction
            }
            MenuItem {
                objectName: "axesMenuItem"
                action: axesAction
            }
            MenuItem {
                objectName: "sceneLightMenuItem"
                action: sceneLightAction
            }
            MenuItem {
                objectName: "lightWidgetMenuItem"
                action: lightWidgetAction
            }
        }
        Menu {
            objectName: "helpMenu"
            title: "&Help"
            MenuItem {
                objectName: "aboutMenuItem"
                action: aboutAction
            }
            MenuItem {
                objectName: "helpMenuItem"
                text: "Readme/Privacy Policy"
                // The page ships with the program; start-up tells where it lies.
                onTriggered: Qt.openUrlExternally(helpPageUrl)
            }
        }
    }

    // ---- Tool bar -------------------------------------------------------------

    header: ToolBar {
        objectName: "toolBar"
        background: Rectangle {
            color: "#eeeaed"
            border.color: "#353637"
        }

        RowLayout {
            anchors.fill: parent

            ToolIconButton {
                objectName: "openButton"
                action: openAction
                iconFile: "open2.png"
                tip: "Open model file(s)"
            }
            ToolIconButton {
                objectName: "addButton"
                action: addAction
                iconFile: "add.png"
                tip: "Add a model file to the scene"
            }
            ToolIconButton {
                objectName: "exportButton"
                action: exportAction
                iconFile: "savedoc.png"
                tip: "Export all files into a glb file"
            }
            Frame {
                rightPadding: 6
                RowLayout {
                    anchors.fill: parent
                    ToolIconButton {
                        objectName: "playButton"
                        action: playAction
                        icon.source: manager.playIcon
                        tip: "Play/Stop animation"
                    }
                    ComboBox {
                        id: animationComboBox
                        objectName: "animationComboBox"
                        Layout.alignment: Qt.AlignVCenter
                        Layout.preferredWidth: 50
                        model: manager.numberOfAnimations
                        ToolTip.visible: hovered
                        ToolTip.text: "Select current animation"
                        Component.onCompleted: currentIndex = manager.currentAnimatoin
                        onActivated: index => {
                            manager.findAnimatedModel()
                            manager.currentAnimatoin = index
                        }
                    }
                    Slider {
                        id: speedSlider
                        objectName: "speedSlider"
                        Layout.preferredWidth: 80
                        Layout.preferredHeight: 30
                        rightPadding: 4
                        bottomPadding: 4
                        from: 0.1
                        to: 5.0
                        stepSize: 0.1
                        snapMode: Slider.SnapAlways
                        value: manager.speedVal
                        ToolTip.visible: hovered
                        ToolTip.text: (pressed ? "x:" : "Speed multiplier of animation:") + value.toFixed(1)
                        onMoved: {
                            manager.findAnimatedModel()
                            manager.speedVal = value
                        }
                    }
                }
            }
            Item {
                Layout.fillWidth: true
            }
            ToolIconButton {
                objectName: "viewAllButton"
                action: frameSceneAction
                iconFile: "view_all1.png"
                tip: "Reset view to extent"
            }
            ToolIconButton {
                objectName: "viewYUpButton"
                iconFile: "y_up_x_right.png"
                tip: "Set view to Up=+Y Right=+X"
                onClicked: setView(1, 0)
            }
            ToolIconButton {
                objectName: "viewZUpYLeftButton"
                iconFile: "z_up_y_left.png"
                tip: "Set view to Up=+Z Right=-Y"
                onClicked: setView(2, 4)
            }
            ToolIconButton {
                objectName: "viewZUpXLeftButton"
                iconFile: "z_up_x_left.png"
                tip: "Set view to Up=+Z Right=-X"
                onClicked: setView(2, 3)
            }
            ToolIconButton {
                objectName: "wireframeButton"
                iconFile: "wireframe.png"
                tip: "Skinned/Wireframe view"
                checkable: true
                checked: manager.wireFrame
                onClicked: {
                    manager.wireFrame = checked
                    manager.toggleWireframe()
                }
            }
            ToolIconButton {
                id: gridButton
                objectName: "gridButton"
                action: gridAction
                iconFile: "grid1.png"
                tip: "Show/hide grid"
            }
            ToolIconButton {
                objectName: "skeletonButton"
                action: skeletonAction
                iconFile: "skeleton.png"
                tip: "Show/hide skeletons"
            }
            ToolIconButton {
                objectName: "axesButton"
                action: axesAction
                iconFile: "axiswidget.png"
                tip: "Axes marker widget"
            }
            ToolIconButton {
                objectName: "lightWidgetButton"
                action: sceneLightAction
                iconFile: "lightwidget.png"
                tip: "Spot Light/Focal position widget"
            }
            ToolIconButton {
                objectName: "homeButton"
                iconFile: "home.png"
                tip: "Reset camera/light position etc."
                onClicked: manager.resetScene()
            }
            ToolIconButton {
                objectName: "clearSelectionButton"
                iconFile: "trans.png"
                tip: "Clear model transform selection"
                onClicked: {
                    // An invalid index: the tree's root, which belongs to no model.
                    manager.treeSelChanged(manager.treeModel.index(-1, -1))
                    treeView.selectionModel.clearCurrentIndex()
                }
            }
            Item {
                Layout.fillWidth: true
            }
            ToolIconButton {
                objectName: "closeAllButton"
                iconFile: "cancel1.png"
                tip: "Close all files"
                onClicked: manager.clearModels()
            }
            ToolIconButton {
                objectName: "aboutButton"
                action: aboutAction
                iconFile: "info.png"
                tip: "Show about"
            }
            ToolIconButton {
                objectName: "exitButton"
                action: quitAction
                iconFile: "exit1.png"
                tip: "Exit the program"
            }
        }
    }

    // ---- View and side panels -------------------------------------------------

    SplitView {
        anchors.fill: parent
        leftPadding: 4
        orientation: Qt.Horizontal

        ColumnLayout {
            SplitView.fillWidth: true
            spacing: 0

            Frame {
                Layout.fillWidth: true
                Layout.fillHeight: true
                padding: 0
                rightPadding: 4

                VtkItem {
                    id: vtkItem
                    objectName: "vtkItem"
                    anchors.fill: parent
                }
                Label {
                    id: statusLabel
                    objectName: "statusLabel"
                    anchors.left: parent.left
                    anchors.bottom: parent.bottom
                    anchors.margins: 8
                    padding: 6
                    visible: false
                    background: Rectangle {
                        color: "#e0ffffff"
                        radius: 4
                    }
                    function show(message) {
                        text = message
                        visible = true
                        statusTimer.restart()
                    }
                    Timer {
                        id: statusTimer
                        interval: 6000
                        onTriggered: statusLabel.visible = false
                    }
                }
            }
            // The time slider, a frame back and on (which stops playback, as the slider
            // does), and where the clip is.
            RowLayout {
                Layout.fillWidth: true
                spacing: 2

                ToolButton {
                    objectName: "stepBackButton"
                    text: "\u25C0"
                    enabled: manager.clipDuration > 0
                    ToolTip.visible: hovered
                    ToolTip.delay: 500
                    ToolTip.text: "One frame back"
                    Accessible.name: ToolTip.text
                    onClicked: manager.stepFrames(-1)
                }
                Slider {
                    id: slider1
                    objectName: "slider1"
                    Layout.fillWidth: true
                    Layout.preferredHeight: 30
                    rightPadding: 4
                    bottomPadding: 4
                    value: manager.sliderVal
                    Accessible.name: "Time in the clip"
                    onMoved: {
                        manager.sliderVal = value
                        manager.sliderMoved()
                    }
                }
                ToolButton {
                    objectName: "stepForwardButton"
                    text: "\u25B6"
                    enabled: manager.clipDuration > 0
                    ToolTip.visible: hovered
                    ToolTip.delay: 500
                    ToolTip.text: "One frame on"
                    Accessible.name: ToolTip.text
                    onClicked: manager.stepFrames(1)
                }
                Label {
                    objectName: "timeReadout"
                    Layout.rightMargin: 6
                    font.family: "monospace"
                    visible: manager.clipDuration > 0
                    // "1.25 / 2.04 s", and the frame where the file counts in frames.
                    text: {
                        const time = manager.sliderVal * manager.clipDuration
                        const seconds = time.toFixed(2) + " / " + manager.clipDuration.toFixed(2) + " s"
                        return manager.clipFrameRate > 0
                                ? seconds + "  frame " + Math.round(time * manager.clipFrameRate)
                                : seconds
                    }
                }
            }
        }

        Frame {
            SplitView.preferredWidth: 300
            SplitView.minimumWidth: 10
            background: Rectangle {
                color: "transparent"
                border.color: "#cdcdcd"
                radius: 6
            }

            ColumnLayout {
                anchors.fill: parent

                TabBar {
                    id: sideTabBar
                    objectName: "sideTabBar"
                    TabButton {
                        text: "Scene"
                        width: 80
                    }
                    TabButton {
                        text: "Properties"
                        width: 80
                    }
                }

                StackLayout {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    currentIndex: sideTabBar.currentIndex

                    // Scene page
                    ColumnLayout {
                        Frame {
                            Layout.fillWidth: true
                            Layout.fillHeight: true
                            Layout.preferredHeight: 200
                            padding: 2

                            TreeView {
                                id: treeView
                                objectName: "treeView"
                                anchors.fill: parent
                                clip: true
                                model: manager.treeModel
                                pointerNavigationEnabled: true
                                // Check boxes start ticked when a row's delegate is
                                // made; a recycled delegate would carry another row's
                                // check mark.
                                reuseItems: false
                                selectionModel: ItemSelectionModel {
                                    model: treeView.model
                                    onCurrentChanged: (current, previous) => manager.treeSelChanged(current)
                                }

                                delegate: Item {
                                    id: treeRow

                                    required property TreeView treeView
                                    required property bool expanded
                                    required property bool hasChildren
                                    required property int depth
                                    required property int row
                                    required property string display
                                    readonly property real indentation: 16

                                    implicitWidth: Math.max(treeView.width, rowContent.x + rowContent.implicitWidth)
                                    implicitHeight: Math.max(24, rowContent.implicitHeight)

                                    Rectangle {
                                        anchors.fill: parent
                                        color: treeRow.row === treeView.currentRow ? "#578fc7" : "transparent"
                                    }
                                    RowLayout {
                                        id: rowContent
                                        x: treeRow.depth * treeRow.indentation
                                        anchors.verticalCenter: parent.verticalCenter
                                        spacing: 2

                                        Label {
                                            objectName: "expandArrow"
                                            Layout.preferredWidth: 14
                                            horizontalAlignment: Text.AlignHCenter
                                            text: "\u25B8"
                                            rotation: treeRow.expanded ? 90 : 0
                                            opacity: treeRow.hasChildren ? 1 : 0
                                            TapHandler {
                                                enabled: treeRow.hasChildren
                                                onTapped: treeView.toggleExpanded(treeRow.row)
                                            }
                                        }
                                        CheckBox {
                                            objectName: "nodeCheckBox"
                                            visible: treeRow.depth >= 1
                                            padding: 0
                                            checked: true
                                            onToggled: manager.checkTreeModel(treeRowIndex(treeRow.row), checked)
                                        }
                                        Label {
                                            text: treeRow.display
                                        }
                                    }
                                }
                            }
                        }
                        Separator {}
                        Label {
                            text: "Spot Light"
                        }
                        CheckBox {
                            objectName: "showLightWidgetCheckBox"
                            action: lightWidgetAction
                            text: "Show/Hide widget"
                        }
                        TabBar {
                            objectName: "lightTabBar"
                            onCurrentIndexChanged: {
                                if (!created)
                                    return
                                manager.currentLight = currentIndex
                                manager.updateCurrentLight()
                            }
                            TabButton {
                                text: "Light 1"
                                width: 80
                            }
                            TabButton {
                                text: "Light 2"
                                width: 80
                            }
                            TabButton {
                                text: "Light 3"
                                width: 80
                            }
                        }
                        RowLayout {
                            RowTitle {
                                text: "Color:"
                            }
                            Button {
                                objectName: "lightColorButton"
                                enabled: manager.sceneLight
                                implicitWidth: 60
                                implicitHeight: 24
                                background: Rectangle {
                                    color: manager.lightColor
                                    border.color: "#353637"
                                    radius: 3
                                    opacity: parent.enabled ? 1.0 : 0.4
                                }
                                onClicked: {
                                    lightColorDialog.selectedColor = manager.lightColor
                                    lightColorDialog.open()
                                }
                            }
                        }
                    }

                    // Properties page
                    ScrollView {
                        id: propertiesPage
                        contentWidth: availableWidth
                        clip: true

                        ColumnLayout {
                            width: propertiesPage.availableWidth

                            RowLayout {
                                RowTitle {
                                    text: "Surface:"
                                }
                                ComboBox {
                                    objectName: "surfaceComboBox"
                                    model: ["Diffuse", "Glossy", "Metallic"]
                                    currentIndex: manager.surfaceLight
                                    onCurrentIndexChanged: {
                                        if (!created)
                                            return
                                        manager.surfaceLight = currentIndex
                                        manager.updateSurfaceLight()
                                    }
                                }
                            }
                            Separator {}
                            RowLayout {
                                RowTitle {
                                    text: "Background:"
                                }
                                ComboBox {
                                    objectName: "backgroundComboBox"
                                    model: ["Gradient", "White", "WarmGray", "BlueGray", "DarkGray",
                                        "NeutralGray", "LightGray", "Black"]
                                    currentIndex: manager.backgroundColor
                                    onCurrentIndexChanged: {
                                        if (!created)
                                            return
                                        manager.backgroundColor = currentIndex
                                        manager.updateBackground()
                                    }
                                }
                            }
                            Separator {}
                            Label {
                                text: "Grid"
                            }
                            RowLayout {
                                RowTitle {
                                    text: "Up axis:"
                                }
                                AxisComboBox {
                                    objectName: "upAxisComboBox"
                                    Component.onCompleted: currentIndex = manager.upDirection
                                    onActivated: index => {
                                        manager.upDirection = index
                                        directionChosen()
                                    }
                                }
                                RowTitle {
                                    text: "Right axis:"
                                }
                                AxisComboBox {
                                    objectName: "rightAxisComboBox"
                                    Component.onCompleted: currentIndex = manager.rightDirection
                                    onActivated: index => {
                                        manager.rightDirection = index
                                        directionChosen()
                                    }
                                }
                            }
                            Separator {}
                            Label {
                                text: "Camera"
                            }
                            RowTitle {
                                text: "Position"
                            }
                            XyzRow {
                                target: manager
                                title: "Camera position"
                                names: ["cameraPosX", "cameraPosY", "cameraPosZ"]
                                command: "updateCameraPos"
                            }
                            RowTitle {
                                text: "Focal point"
                            }
                            XyzRow {
                                target: manager
                                title: "Camera focal point"
                                names: ["cameraFpX", "cameraFpY", "cameraFpZ"]
                                command: "updateCameraFp"
                            }
                            Separator {}
                            Label {
                                text: "Transform"
                            }
                            RowTitle {
                                text: "Position"
                            }
                            XyzRow {
                                target: manager
                                title: "Model position"
                                names: ["modelPosX", "modelPosY", "modelPosZ"]
                                command: "updateModelTransform"
                                decimals: 2
                            }
                            RowTitle {
                                text: "Scale"
                            }
                            XyzRow {
                                target: manager
                                title: "Model scale"
                                names: ["modelScaleX", "modelScaleY", "modelScaleZ"]
                                command: "updateModelTransform"
                                decimals: 2
                                from: 0
                                to: 100000
                            }
                            RowTitle {
                                text: "Rotate"
                            }
                            XyzRow {
                                target: manager
                                title: "Model rotation"
                                names: ["modelRotateX", "modelRotateY", "modelRotateZ"]
                                command: "updateModelTransform"
                                decimals: 2
                                from: -36000
                                to: 36000
                            }
                            Separator {}
                            Label {
                                text: "Spot Light"
                            }
                            RowTitle {
                                text: "Position"
                            }
                            XyzRow {
                                target: manager
                                title: "Light position"
                                names: ["lightPosX", "lightPosY", "lightPosZ"]
                                command: "updateLightPos"
                                enabled: manager.sceneLight
                            }
                            RowTitle {
                                text: "Focal point"
                            }
                            XyzRow {
                                target: manager
                                title: "Light focal point"
                                names: ["lightFpX", "lightFpY", "lightFpZ"]
                                command: "updateLightFp"
                                enabled: manager.sceneLight
                            }
                        }
                    }
                }
            }
        }
    }

    // ---- Dialogs --------------------------------------------------------------

    FileChooser {
        id: openChooser
        objectName: "openModelDialog"
        window: appWindow
        fileMode: Platform.FileDialog.OpenFiles
        nameFilters: modelFileFilters
        onFilesChosen: urls => openModelFiles(urls)
    }
    FileChooser {
        id: addChooser
        objectName: "addModelDialog"
        window: appWindow
        fileMode: Platform.FileDialog.OpenFile
        nameFilters: modelFileFilters
        onFilesChosen: urls => addModelFile(urls)
    }
    FileChooser {
        id: exportChooser
        objectName: "exportSceneDialog"
        window: appWindow
        fileMode: Platform.FileDialog.SaveFile
        nameFilters: exportFileFilters
        fallbackDialog: exportPathDialog
        onFilesChosen: urls => manager.exportSceneUrl(urls[0])
    }

    // Qt Quick's own file dialog of Qt 6.4 cannot save under a new name, so
    // without a native dialog the export asks for the path here.
    Dialog {
        id: exportPathDialog
        objectName: "exportPathDialog"
        title: "Export scene"
        modal: true
        standardButtons: Dialog.Save | Dialog.Cancel
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(parent.width - 40, 520)
        onAboutToShow: {
            if (exportPathField.text === "")
                exportPathField.text = localPath(Platform.StandardPaths.writableLocation(
                                                     Platform.StandardPaths.DocumentsLocation)) + "/scene.glb"
            exportPathField.forceActiveFocus()
        }
        onAccepted: exportChooser.filesChosen([localFileUrl(exportPathField.text)])

        ColumnLayout {
            anchors.fill: parent
            Label {
                text: "File name:"
            }
            TextField {
                id: exportPathField
                objectName: "exportPathField"
                Layout.fillWidth: true
                selectByMouse: true
                onAccepted: exportPathDialog.accept()
            }
            Label {
                text: "The format follows the file name: .glb, .gltf, .dae or .fbx"
                opacity: 0.7
            }
        }
    }

    // What the current model's file holds and what the viewer could not use, as
    // text to read and copy.
    Dialog {
        id: fileReportDialog
        objectName: "fileReportDialog"
        title: "File report"
        modal: true
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(parent.width - 40, 700)
        height: Math.min(parent.height - 40, 520)
        standardButtons: Dialog.Close

        ColumnLayout {
            anchors.fill: parent
            ScrollView {
                Layout.fillWidth: true
                Layout.fillHeight: true
                TextArea {
                    id: fileReportArea
                    objectName: "fileReportArea"
                    readOnly: true
                    selectByMouse: true
                    wrapMode: TextEdit.Wrap
                    font.family: "monospace"
                }
            }
            Button {
                objectName: "copyReportButton"
                text: "Copy"
                onClicked: {
                    fileReportArea.selectAll()
                    fileReportArea.copy()
                    fileReportArea.deselect()
                }
            }
        }
    }

    // Where the view's picture goes, and how many times the view's size it is.
    Dialog {
        id: saveViewDialog
        objectName: "saveViewDialog"
        title: "Save view as image"
        modal: true
        standardButtons: Dialog.Save | Dialog.Cancel
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(parent.width - 40, 520)
        onAboutToShow: {
            if (viewImagePathField.text === "")
                viewImagePathField.text = localPath(Platform.StandardPaths.writableLocation(
                                                        Platform.StandardPaths.PicturesLocation)) + "/view.png"
            viewImagePathField.forceActiveFocus()
        }
        onAccepted: manager.saveViewImageUrl(localFileUrl(viewImagePathField.text), viewImageScale.value)

        ColumnLayout {
            anchors.fill: parent
            Label {
                text: "File name (PNG):"
            }
            TextField {
                id: viewImagePathField
                objectName: "viewImagePathField"
                Layout.fillWidth: true
                selectByMouse: true
                onAccepted: saveViewDialog.accept()
            }
            RowLayout {
                Label {
                    text: "Size, times the view's:"
                }
                SpinBox {
                    id: viewImageScale
                    objectName: "viewImageScale"
                    from: 1
                    to: 4
                    value: 1
                }
            }
        }
    }

    MessageDialog {
        id: openErrorDialog
        objectName: "openErrorDialog"
        text: "Unable to open the file(s)."
        buttons: MessageDialog.Ok
    }
    MessageDialog {
        id: exportErrorDialog
        objectName: "exportErrorDialog"
        text: "Unable to export into the scene."
        buttons: MessageDialog.Ok
    }
    MessageDialog {
        id: exportNoticeDialog
        objectName: "exportNoticeDialog"
        buttons: MessageDialog.Ok
    }

    ColorDialog {
        id: lightColorDialog
        objectName: "lightColorDialog"
        title: "Select light color"
        onAccepted: {
            manager.lightColor = selectedColor
            manager.updateLightColor()
        }
    }

    Dialog {
        id: aboutDialog
        objectName: "aboutDialog"
        modal: true
        dim: false
        focus: true
        standardButtons: Dialog.Ok
        width: Math.max(implicitWidth, 340)
        parent: Overlay.overlay
        anchors.centerIn: parent
        onOpened: contactField.selectAll()

        ColumnLayout {
            spacing: 12
            anchors.fill: parent

            RowLayout {
                ToolButton {
                    flat: true
                    leftPadding: 10
                    topPadding: 10
                    icon.source: "qrc:/icons/logo.png"
                    icon.width: 32
                    icon.height: 32
                    icon.color: "transparent"
                    background: Item {}
                }
                Label {
                    text: "Marionette Lab 1.2"
                    font.bold: true
                    font.pixelSize: Qt.application.font.pixelSize * 1.1
                    Layout.fillWidth: true
                    Layout.leftMargin: 40
                }
            }
            Label {
                text: "For 3D model animation"
                font.pixelSize: Qt.application.font.pixelSize
                Layout.fillWidth: true
                Layout.leftMargin: 40
            }
            TextInput {
                id: contactField
                objectName: "contactField"
                leftPadding: 15
                text: "marionette-lab@example.org"
                readOnly: true
                selectByMouse: true
                focus: true
                // Selected from the start, so the address is ready to be copied.
                Component.onCompleted: {
                    forceActiveFocus()
                    selectAll()
                }
            }
            Label {
                leftPadding: 15
                text: "2026, the Marionette Lab developers"
            }
        }
    }

    // A load the window did not show its busy window for (a recent file, the
    // command line) gets it once it has taken long enough to be noticed: a second,
    // the wait users start to wonder at. Sooner would flash it for loads that are
    // over at a glance, and its first showing holds the window back for a frame
    // (Qt Quick waits for a new window's first frame before drawing the others).
    Timer {
        interval: 1000
        running: manager.loading
        onTriggered: splashWindow.show()
    }

    // Shown while files load; hidden when the Manager reports the end of the load.
    Window {
        id: splashWindow
        objectName: "splashWindow"
        flags: Qt.SplashScreen
        modality: Qt.NonModal
        width: 300
        height: 300
        x: appWindow.x + (appWindow.width - width) / 2
        y: appWindow.y + (appWindow.height - height) / 2
        visible: false

        Rectangle {
            anchors.fill: parent
            color: "white"
            border.color: "black"
            border.width: 1

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.top: parent.top
                anchors.topMargin: 30
                text: "wait, please.."
                font.bold: true
                font.pixelSize: 20
                color: "black"
            }
            Text {
                objectName: "loadingFileText"
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.top: parent.top
                anchors.topMargin: 90
                width: parent.width - 40
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideMiddle
                text: manager.loadingFile.replace(/^.*[\\/]/, "")
                color: "black"
            }
            ProgressBar {
                objectName: "loadProgressBar"
                anchors.centerIn: parent
                width: parent.width - 40
                value: manager.loadProgress
                Accessible.name: "Loading progress"
            }
            Button {
                objectName: "cancelLoadButton"
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 40
                text: "Cancel"
                onClicked: manager.cancelLoad()
            }
        }
    }
}
