// The tool bar: what each button writes and which command it calls, in order,
// and the animation controls in the middle of it.
#include <gtest/gtest.h>

#include <cmath>

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTest>

#include "RenderTasks.h"
#include "WindowFixture.h"

namespace
{
using ML::Test::sharedModelPath;
using ML::Test::WindowFixture;

class WindowToolBar : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_NE(f.window, nullptr) << "the window document did not load";
    ASSERT_NE(f.view, nullptr);
    ASSERT_TRUE(f.shown);
  }

  // The image a button draws.
  QUrl iconShown(const char* button)
  {
    const auto images = f.itemsOfType("QQuickIconImage", f.item(button));
    return images.isEmpty() ? QUrl() : images.first()->property("source").toUrl();
  }

  WindowFixture f;
};

TEST_F(WindowToolBar, EveryButtonHasItsIconAndTooltip)
{
  const QList<QPair<const char*, const char*>> buttons = {
      {"openButton", "Open model file(s)"},
      {"addButton", "Add a model file to the scene"},
      {"exportButton", "Export all files into a glb file"},
      {"playButton", "Play/Stop animation"},
      {"viewAllButton", "Reset view to extent"},
      {"viewYUpButton", "Set view to Up=+Y Right=+X"},
      {"viewZUpYLeftButton", "Set view to Up=+Z Right=-Y"},
      {"viewZUpXLeftButton", "Set view to Up=+Z Right=-X"},
      {"wireframeButton", "Skinned/Wireframe view"},
      {"gridButton", "Show/hide grid"},
      {"axesButton", "Axes marker widget"},
      {"lightWidgetButton", "Spot Light/Focal position widget"},
      {"homeButton", "Reset camera/light position etc."},
      {"clearSelectionButton", "Clear model transform selection"},
      {"closeAllButton", "Close all files"},
      {"aboutButton", "Show about"},
      {"exitButton", "Exit the program"},
  };
  qreal lastX = -1;
  for (const auto& [name, tip] : buttons)
  {
    SCOPED_TRACE(name);
    QQuickItem* button = f.item(name);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->property("tip").toString(), tip);
    EXPECT_TRUE(iconShown(name).toString().startsWith("qrc:/marionette_lab/icons/"));
    // Left to right in the listed order.
    const qreal x = button->mapToScene(QPointF(0, 0)).x();
    EXPECT_GT(x, lastX);
    lastX = x;
  }
  EXPECT_EQ(f.manager->playIcon(), "qrc:/marionette_lab/icons/play1.png");

  // The tooltip shows while the pointer is over the button.
  QQuickItem* grid = f.item("gridButton");
  QTest::mouseMove(f.window, grid->mapToScene(QPointF(5, 5)).toPoint());
  QTest::mouseMove(f.window, grid->mapToScene(QPointF(10, 10)).toPoint());
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.itemWithText("Show/hide grid") != nullptr; }, 3000));
  f.screenshot("toolbar-tooltip");
}

TEST_F(WindowToolBar, ViewPresetsWriteBothAxesBeforeOneDirectionUpdate)
{
  struct Preset
  {
    const char* button;
    int up, right;
  };
  f.recordTasks();
  int expected = 0;
  for (const Preset& preset : {Preset{"viewZUpYLeftButton", 2, 4},
                               Preset{"viewZUpXLeftButton", 2, 3}, Preset{"viewYUpButton", 1, 0}})
  {
    SCOPED_TRACE(preset.button);
    f.click(f.item(preset.button));
    ++expected;
    ASSERT_EQ(f.queued(&ML::updateDirectionTask), expected);
    ASSERT_EQ(f.tasks.size(), size_t(expected));
    const auto& state = f.lastQueued(&ML::updateDirectionTask)->state;
    EXPECT_EQ(state.upDirection, preset.up);
    EXPECT_EQ(state.rightDirection, preset.right);
  }
}

TEST_F(WindowToolBar, CheckableButtonsWriteTheirPropertyThenApplyIt)
{
  f.recordTasks();
  f.click(f.item("wireframeButton"));
  f.click(f.item("gridButton"));
  f.click(f.item("axesButton"));

  EXPECT_TRUE(f.manager->wireFrame());
  EXPECT_TRUE(f.manager->showGrid());
  EXPECT_TRUE(f.manager->showAxes());
  ASSERT_EQ(f.tasks.size(), 3u);
  EXPECT_EQ(f.tasks[0].function, &ML::applyWireframe);
  EXPECT_TRUE(f.tasks[0].state.wireFrame);
  EXPECT_EQ(f.tasks[1].function, &ML::applyGrid);
  EXPECT_TRUE(f.tasks[1].state.showGrid);
  EXPECT_EQ(f.tasks[2].function, &ML::applyAxes);
  EXPECT_TRUE(f.tasks[2].state.showAxes);
  EXPECT_TRUE(f.object("gridMenuItem")->property("checked").toBool());

  // The buttons follow the Manager, whoever changes it.
  f.manager->setShowGrid(false);
  EXPECT_FALSE(f.item("gridButton")->property("checked").toBool());
  f.click(f.item("gridButton"));
  EXPECT_TRUE(f.manager->showGrid());
}

TEST_F(WindowToolBar, PlayButtonSwitchesItsIcon)
{
  EXPECT_EQ(iconShown("playButton"), QUrl("qrc:/marionette_lab/icons/play1.png"));
  f.recordTasks();
  QQuickItem* play = f.item("playButton");
  f.click(play);
  EXPECT_EQ(f.manager->playIcon(), "qrc:/marionette_lab/icons/stop.png");
  EXPECT_EQ(iconShown("playButton"), QUrl("qrc:/marionette_lab/icons/stop.png"));
  EXPECT_EQ(f.queued(&ML::playToggleTask), 1);

  f.click(play);
  EXPECT_EQ(f.manager->playIcon(), "qrc:/marionette_lab/icons/play1.png");
  EXPECT_EQ(f.queued(&ML::playToggleTask), 1);
}

TEST_F(WindowToolBar, AnimationBoxListsEachAnimationAndPicksTheAnimatedModel)
{
  // The arm has two animations, the cube none.
  ASSERT_TRUE(
      f.openModels({sharedModelPath("arm_two_clips.glb"), sharedModelPath("textured_cube.glb")}));
  ASSERT_EQ(f.manager->numberOfAnimations(), 2);
  f.manager->setCurrentModel(1);

  QQuickItem* box = f.item("animationComboBox");
  EXPECT_EQ(box->property("count").toInt(), 2);
  f.click(box);
  QQuickItem* second = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (second = f.itemWithText("1")) != nullptr; }, 3000));
  EXPECT_NE(f.itemWithText("0"), nullptr);
  f.click(second);

  EXPECT_EQ(f.manager->currentAnimatoin(), 1);
  // findAnimatedModel moved on from the cube to the animated model.
  EXPECT_EQ(f.manager->currentModel(), 0);
}

TEST_F(WindowToolBar, SpeedSliderStaysWithinItsRangeInTenths)
{
  QQuickItem* slider = f.item("speedSlider");
  auto* handle = slider->property("handle").value<QQuickItem*>();
  const auto handleCentre = [&]
  { return slider->mapFromItem(handle, QPointF(handle->width() / 2, handle->height() / 2)); };

  f.drag(slider, handleCentre(), QPointF(-200, handleCentre().y()));
  EXPECT_NEAR(f.manager->speedVal(), 0.1, 1e-9);

  f.drag(slider, handleCentre(), QPointF(slider->width() + 200, handleCentre().y()));
  EXPECT_NEAR(f.manager->speedVal(), 5.0, 1e-9);

  f.drag(slider, handleCentre(), QPointF(slider->width() * 0.45, handleCentre().y()));
  const double speed = f.manager->speedVal();
  EXPECT_GT(speed, 0.1);
  EXPECT_LT(speed, 5.0);
  EXPECT_NEAR(speed * 10, std::round(speed * 10), 1e-6) << speed;
  EXPECT_NEAR(slider->property("value").toDouble(), speed, 1e-9);
}

TEST_F(WindowToolBar, ClearSelectionHandsNoNodeAndClearsTheCurrentRow)
{
  ASSERT_TRUE(f.openModels({sharedModelPath("arm_two_clips.glb")}));
  auto* tree = f.item("treeView");
  auto* selection = tree->property("selectionModel").value<QItemSelectionModel*>();
  ASSERT_NE(selection, nullptr);
  QStandardItemModel* model = f.manager->treeModel();
  selection->setCurrentIndex(model->index(0, 0, model->index(0, 0)), QItemSelectionModel::NoUpdate);
  ASSERT_NE(f.manager->selectedNode, nullptr);

  f.recordTasks();
  f.click(f.item("clearSelectionButton"));
  EXPECT_EQ(f.manager->selectedNode, nullptr);
  ASSERT_GE(f.queued(&ML::treeSelChangedTask), 1);
  EXPECT_FALSE(selection->currentIndex().isValid());
  EXPECT_EQ(tree->property("currentRow").toInt(), -1);
}

TEST_F(WindowToolBar, CloseAllAndHomeQueueTheirCommands)
{
  f.recordTasks();
  f.click(f.item("closeAllButton"));
  EXPECT_EQ(f.queued(&ML::clearModelsTask), 1);
  const size_t afterClose = f.tasks.size();
  f.click(f.item("homeButton"));
  f.click(f.item("viewAllButton"));
  // Both are small lambdas: one task each.
  EXPECT_EQ(f.tasks.size(), afterClose + 2);
}

TEST_F(WindowToolBar, ExitButtonQuitsTheProgram)
{
  QSignalSpy quit(&f.engine, &QQmlEngine::quit);
  f.click(f.item("exitButton"));
  EXPECT_EQ(quit.count(), 1);
}
} // namespace
