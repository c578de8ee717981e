// The 3D view's neighbours and the side panels: title, scene tree, light
// controls, the property fields and the time slider, each driven by mouse and
// keyboard in the real window.
#include <gtest/gtest.h>

#include <QTest>

#include <assimp/scene.h>

#include "RenderTasks.h"
#include "WindowFixture.h"

namespace
{
using ML::Test::sharedModelPath;
using ML::Test::WindowFixture;

struct TreeRow
{
  QQuickItem* delegate;
  int depth;
  QString text;
  QQuickItem* checkBox;
};

class WindowPanels : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_NE(f.window, nullptr) << "the window document did not load";
    ASSERT_NE(f.view, nullptr);
    ASSERT_TRUE(f.shown);
  }

  // Rows the tree view shows now, top to bottom.
  QList<TreeRow> treeRows()
  {
    QList<TreeRow> rows;
    for (QQuickItem* candidate : f.itemsOfType("QQuickItem", f.item("treeView")))
    {
      if (!candidate->property("depth").isValid() || !candidate->property("display").isValid())
        continue;
      // Hidden check boxes are not visible items, so look them up by name.
      const auto boxes = candidate->findChildren<QQuickItem*>("nodeCheckBox");
      QQuickItem* box = boxes.isEmpty() ? nullptr : boxes.first();
      rows.append({candidate, candidate->property("depth").toInt(),
                   candidate->property("display").toString(), box});
    }
    std::sort(rows.begin(), rows.end(),
              [](const TreeRow& a, const TreeRow& b) { return a.delegate->y() < b.delegate->y(); });
    return rows;
  }

  // Tall enough for the whole Properties page without scrolling.
  void showProperties()
  {
    f.window->resize(800, 1000);
    QTest::qWait(100);
    f.click(f.itemWithText("Properties"));
    QTest::qWait(50);
  }

  QString nodeName(const aiNode* node) { return node ? QString(node->mName.C_Str()) : QString(); }

  WindowFixture f;
};

TEST_F(WindowPanels, TitleNamesTheFirstModelWhileOneIsLoaded)
{
  EXPECT_EQ(f.window->title(), "Marionette-Lab 3D");

  const QString first = sharedModelPath("arm_two_clips.glb");
  ASSERT_TRUE(f.openModels({first, sharedModelPath("textured_cube.glb")}));
  EXPECT_EQ(f.window->title(), first);

  f.click(f.item("closeAllButton"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.window->title() == "Marionette-Lab 3D"; }, 20000));
}

TEST_F(WindowPanels, OnlyRowsBelowTheFileRowsHaveCheckBoxes)
{
  ASSERT_TRUE(f.openModels({sharedModelPath("arm_two_clips.glb")}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return treeRows().size() > 1; }, 5000));

  const QList<TreeRow> rows = treeRows();
  ASSERT_EQ(rows.first().depth, 0);
  EXPECT_EQ(rows.first().text, "arm_two_clips.glb");
  int nodeRows = 0;
  for (const TreeRow& row : rows)
  {
    SCOPED_TRACE(row.text.toStdString());
    ASSERT_NE(row.checkBox, nullptr);
    EXPECT_EQ(row.checkBox->isVisible(), row.depth >= 1);
    if (row.depth >= 1)
    {
      ++nodeRows;
      EXPECT_TRUE(row.checkBox->property("checked").toBool());
      EXPECT_TRUE(row.text.endsWith("]"));
    }
  }
  // The load's end expands the file rows by one level.
  EXPECT_GE(nodeRows, 1);
  EXPECT_EQ(rows.last().depth, 1);
}

TEST_F(WindowPanels, UntickingANodeHandsThatRowsNodeToTheView)
{
  ASSERT_TRUE(f.openModels({sharedModelPath("arm_two_clips.glb")}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return treeRows().size() > 1; }, 5000));
  const TreeRow row = treeRows().last();
  ASSERT_EQ(row.depth, 1);

  f.recordTasks();
  f.click(row.checkBox);

  EXPECT_FALSE(row.checkBox->property("checked").toBool());
  ASSERT_EQ(f.queued(&ML::checkTreeModelTask), 1);
  EXPECT_FALSE(f.manager->nodeChecked);
  EXPECT_EQ(ML::Manager::checkedModelIndex, 0);
  ASSERT_NE(f.manager->selectedNode, nullptr);
  EXPECT_TRUE(row.text.startsWith(nodeName(f.manager->selectedNode) + "["))
      << row.text.toStdString();
}

TEST_F(WindowPanels, ClickingARowMakesItCurrentAndSelectsItsNode)
{
  ASSERT_TRUE(f.openModels({sharedModelPath("arm_two_clips.glb")}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return treeRows().size() > 1; }, 5000));
  const TreeRow row = treeRows().last();

  f.recordTasks();
  // Right of the text, clear of the arrow and the check box.
  f.clickAt(row.delegate, QPointF(row.delegate->width() - 10, row.delegate->height() / 2));

  ASSERT_GE(f.queued(&ML::treeSelChangedTask), 1);
  EXPECT_TRUE(row.text.startsWith(nodeName(f.manager->selectedNode) + "["));
  const QImage shot = f.screenshot("tree-selection");
  const QPoint inRow = row.delegate->mapToScene(QPointF(row.delegate->width() - 10, 3)).toPoint();
  EXPECT_EQ(QColor(shot.pixel(inRow)).name(), "#578fc7");
}

TEST_F(WindowPanels, TypedScaleIsStoredInHundredthsAndArrowsStepByOne)
{
  showProperties();
  QQuickItem* scaleX = f.item("modelScaleX");
  ASSERT_NE(scaleX, nullptr);
  EXPECT_EQ(scaleX->property("displayText").toString(), "1.00");

  f.recordTasks();
  f.typeInto(scaleX, "2.5");
  EXPECT_EQ(f.manager->modelScaleX(), 250);
  EXPECT_EQ(scaleX->property("displayText").toString(), "2.50");
  const auto* task = f.lastQueued(&ML::updateModelTransformTask);
  ASSERT_NE(task, nullptr);
  EXPECT_DOUBLE_EQ(task->state.modelScale[0], 2.5);

  auto* up = scaleX->property("up").value<QObject*>()->property("indicator").value<QQuickItem*>();
  f.click(up);
  EXPECT_EQ(f.manager->modelScaleX(), 350);
  EXPECT_EQ(scaleX->property("displayText").toString(), "3.50");
  EXPECT_EQ(f.queued(&ML::updateModelTransformTask), 2);
}

TEST_F(WindowPanels, ScaleAndRotateRefuseTheMinusSignPositionTakesIt)
{
  showProperties();
  f.recordTasks();
  f.typeInto(f.item("modelScaleY"), "-3");
  f.typeInto(f.item("modelRotateZ"), "-45");
  f.typeInto(f.item("modelPosX"), "-1.5");

  // The validator drops the minus sign of the first two.
  EXPECT_EQ(f.manager->modelScaleY(), 300);
  EXPECT_EQ(f.manager->modelRotateZ(), 4500);
  EXPECT_EQ(f.manager->modelPosX(), -150);
  EXPECT_EQ(f.queued(&ML::updateModelTransformTask), 3);
}

TEST_F(WindowPanels, CameraFieldsTakeWholeNumbers)
{
  showProperties();
  f.recordTasks();
  f.typeInto(f.item("cameraPosX"), "12.7");
  f.typeInto(f.item("cameraFpZ"), "-40");

  EXPECT_EQ(f.manager->cameraPosX(), 127);
  EXPECT_EQ(f.manager->cameraFpZ(), -40);
  const auto* position = f.lastQueued(&ML::updateCameraPosTask);
  ASSERT_NE(position, nullptr);
  EXPECT_DOUBLE_EQ(position->state.cameraPosition[0], 127.0);
  EXPECT_EQ(f.queued(&ML::updateCameraFpTask), 1);
}

TEST_F(WindowPanels, SpotLightControlsAreDisabledWithoutTheSceneLight)
{
  showProperties();
  const QStringList lightFields = {"lightPosX", "lightPosY", "lightPosZ",
                                   "lightFpX",  "lightFpY",  "lightFpZ"};
  for (const QString& name : lightFields)
    EXPECT_FALSE(f.item(name)->isEnabled()) << name.toStdString();
  EXPECT_FALSE(f.item("showLightWidgetCheckBox")->isEnabled());
  EXPECT_FALSE(f.item("lightColorButton")->isEnabled());
  EXPECT_TRUE(f.item("cameraPosX")->isEnabled());

  f.recordTasks();
  f.click(f.item("lightWidgetButton"));
  ASSERT_TRUE(f.manager->sceneLight());
  EXPECT_EQ(f.queued(&ML::applySceneLight), 1);
  for (const QString& name : lightFields)
    EXPECT_TRUE(f.item(name)->isEnabled()) << name.toStdString();
  EXPECT_TRUE(f.item("showLightWidgetCheckBox")->isEnabled());
  EXPECT_TRUE(f.item("lightColorButton")->isEnabled());

  f.typeInto(f.item("lightPosY"), "25");
  EXPECT_EQ(f.manager->lightPosY(), 25);
  EXPECT_EQ(f.queued(&ML::updateLightPosTask), 1);
}

TEST_F(WindowPanels, UpAxisPlusZUpdatesTheDirectionAndShowsTheGrid)
{
  showProperties();
  QQuickItem* upAxis = f.item("upAxisComboBox");
  EXPECT_EQ(upAxis->property("currentIndex").toInt(), 1);
  f.recordTasks();

  f.click(upAxis);
  QQuickItem* plusZ = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (plusZ = f.itemWithText("+Z")) != nullptr; }, 3000));
  f.click(plusZ);

  EXPECT_EQ(f.manager->upDirection(), 2);
  ASSERT_EQ(f.queued(&ML::updateDirectionTask), 1);
  EXPECT_EQ(f.lastQueued(&ML::updateDirectionTask)->state.upDirection, 2);
  EXPECT_TRUE(f.manager->showGrid());
  EXPECT_TRUE(f.item("gridButton")->property("checked").toBool());
  // The direction task redraws the grid itself.
  EXPECT_EQ(f.queued(&ML::applyGrid), 0);

  // Later direction changes from elsewhere are not shown by the combo box.
  f.manager->setUpDirection(4);
  EXPECT_EQ(upAxis->property("currentIndex").toInt(), 2);
}

TEST_F(WindowPanels, SurfaceComboAppliesEveryIndexChange)
{
  showProperties();
  f.recordTasks();
  f.click(f.item("surfaceComboBox"));
  QQuickItem* metallic = nullptr;
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return (metallic = f.itemWithText("Metallic")) != nullptr; }, 3000));
  f.click(metallic);
  EXPECT_EQ(f.manager->surfaceLight(), 2);
  EXPECT_EQ(f.queued(&ML::applySurfacePreset), 1);

  // A change from elsewhere moves the box, which applies the preset again.
  f.manager->setSurfaceLight(0);
  EXPECT_EQ(f.item("surfaceComboBox")->property("currentIndex").toInt(), 0);
  EXPECT_EQ(f.queued(&ML::applySurfacePreset), 2);
}

TEST_F(WindowPanels, LightTabsSelectTheCurrentLight)
{
  f.recordTasks();
  f.click(f.itemWithText("Light 3"));
  EXPECT_EQ(f.manager->currentLight(), 2);
  const auto* task = f.lastQueued(&ML::updateCurrentLightTask);
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(task->state.currentLight, 2);

  f.click(f.itemWithText("Light 1"));
  EXPECT_EQ(f.manager->currentLight(), 0);
  EXPECT_EQ(f.queued(&ML::updateCurrentLightTask), 2);
}

TEST_F(WindowPanels, TimeSliderWritesThePositionBeforeMoving)
{
  QQuickItem* slider = f.item("slider1");
  f.recordTasks();
  const qreal left = slider->property("leftPadding").toReal();
  const qreal available = slider->property("availableWidth").toReal();
  f.clickAt(slider, QPointF(left + available * 0.5, slider->height() / 2));

  EXPECT_NEAR(f.manager->sliderVal(), 0.5, 1e-9);
  const auto* task = f.lastQueued(&ML::sliderMovedTask);
  ASSERT_NE(task, nullptr);
  EXPECT_NEAR(task->state.sliderVal, 0.5, 1e-9);

  // The slider follows the position that playback writes.
  f.manager->setSliderVal(0.8);
  EXPECT_NEAR(slider->property("value").toDouble(), 0.8, 1e-9);
}
} // namespace
