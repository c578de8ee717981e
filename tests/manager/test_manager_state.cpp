// Property defaults and write rules of the controller.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "Manager.h"

namespace
{
using ML::Manager;

TEST(ManagerDefaults, MatchTheStartState)
{
  Manager manager;
  EXPECT_EQ(manager.playIcon(), "qrc:/marionette_lab/icons/play1.png");
  EXPECT_NE(manager.treeModel(), nullptr);
  EXPECT_EQ(manager.treeModel()->parent(), &manager);
  EXPECT_TRUE(manager.recentFiles().isEmpty());
  EXPECT_TRUE(manager.modelNames().isEmpty());
  EXPECT_FALSE(manager.loadOnStartup() || manager.showAxes() || manager.showGrid() ||
               manager.sceneLight() || manager.wireFrame());
  EXPECT_EQ(manager.upDirection(), 1);
  EXPECT_EQ(manager.rightDirection(), 0);
  EXPECT_EQ(manager.currentAnimatoin(), 0);
  EXPECT_EQ(manager.backgroundColor(), 0);
  EXPECT_EQ(manager.surfaceLight(), 0);
  EXPECT_TRUE(manager.showLightWidget());
  EXPECT_EQ(manager.currentLight(), 0);
  EXPECT_EQ(manager.currentModel(), 0);
  EXPECT_EQ(manager.numberOfAnimations(), 0);
  EXPECT_DOUBLE_EQ(manager.sliderVal(), 0.0);
  EXPECT_DOUBLE_EQ(manager.speedVal(), 1.0);
  EXPECT_EQ(manager.modelScaleX(), 100);
  EXPECT_EQ(manager.modelScaleY(), 100);
  EXPECT_EQ(manager.modelScaleZ(), 100);
  EXPECT_EQ(manager.modelPosX(), 0);
  EXPECT_EQ(manager.modelRotateZ(), 0);
  EXPECT_EQ(manager.lightColor(), QColor(255, 255, 255, 255));
  for (const ML::LightSlot& slot : manager.state.lights)
  {
    EXPECT_EQ(slot.color, QColor(255, 255, 255, 255));
  }
  EXPECT_EQ(manager.vtkItem, nullptr);
  EXPECT_FALSE(manager.animationTimer.isActive());
  EXPECT_DOUBLE_EQ(manager.transformFactor, 100.0);
}

TEST(ManagerWrites, PlainPropertiesNotifyOnlyOnChange)
{
  Manager manager;
  QSignalSpy up(&manager, &Manager::upDirectionChanged);
  manager.setUpDirection(2);
  manager.setUpDirection(2);
  EXPECT_EQ(manager.upDirection(), 2);
  EXPECT_EQ(up.count(), 1);

  QSignalSpy grid(&manager, &Manager::showGridChanged);
  manager.setShowGrid(false);
  EXPECT_EQ(grid.count(), 0);
  manager.setShowGrid(true);
  EXPECT_EQ(grid.count(), 1);
}

TEST(ManagerWrites, TreeModelWriteOnlyReplacesThePointer)
{
  Manager manager;
  QStandardItemModel other;
  QStandardItemModel* own = manager.treeModel();
  QSignalSpy spy(&manager, &Manager::treeModelChanged);
  manager.setTreeModel(&other);
  EXPECT_EQ(manager.treeModel(), &other);
  EXPECT_EQ(other.parent(), nullptr);
  EXPECT_EQ(own->parent(), &manager);
  EXPECT_EQ(spy.count(), 1);
}

TEST(ManagerWrites, CameraValuesAreWholeNumbers)
{
  Manager manager;
  QSignalSpy spy(&manager, &Manager::cameraPosXChanged);
  manager.setCameraPosX(5);
  manager.setCameraPosX(5);
  EXPECT_EQ(manager.cameraPosX(), 5);
  EXPECT_EQ(spy.count(), 1);

  // Values the render side stores read back truncated toward zero.
  manager.state.cameraPosition = {12.7, -3.9, 100.2};
  EXPECT_EQ(manager.cameraPosX(), 12);
  EXPECT_EQ(manager.cameraPosY(), -3);
  EXPECT_EQ(manager.cameraPosZ(), 100);
}

TEST(ManagerWrites, LightPropertiesAddressTheCurrentLight)
{
  Manager manager;
  manager.setCurrentLight(2);
  QSignalSpy colour(&manager, &Manager::lightColorChanged);
  manager.setLightColor(QColor(10, 20, 30));
  manager.setLightColor(QColor(10, 20, 30));
  EXPECT_EQ(colour.count(), 1);
  manager.setLightPosY(-7);
  EXPECT_EQ(manager.state.lights[2].color, QColor(10, 20, 30));
  EXPECT_EQ(manager.state.lights[2].position[1], -7.0);
  EXPECT_EQ(manager.state.lights[0].color, QColor(255, 255, 255));
  EXPECT_EQ(manager.state.lights[0].position[1], 0.0);

  manager.setCurrentLight(0);
  EXPECT_EQ(manager.lightColor(), QColor(255, 255, 255));
  EXPECT_EQ(manager.lightPosY(), 0);
  manager.setCurrentLight(2);
  EXPECT_EQ(manager.lightPosY(), -7);
}

TEST(ManagerWrites, CurrentLightOutsideTheThreeSlotsIsIgnored)
{
  Manager manager;
  QSignalSpy spy(&manager, &Manager::currentLightChanged);
  manager.setCurrentLight(3);
  manager.setCurrentLight(-1);
  EXPECT_EQ(manager.currentLight(), 0);
  EXPECT_EQ(spy.count(), 0);
  EXPECT_EQ(manager.lightColor(), QColor(255, 255, 255));
}

TEST(ManagerWrites, TransformPropertiesHoldHundredths)
{
  Manager manager;
  QSignalSpy spy(&manager, &Manager::modelScaleXChanged);
  manager.setModelScaleX(150);
  EXPECT_DOUBLE_EQ(manager.state.modelScale[0], 1.5);
  manager.setModelScaleX(150);
  EXPECT_EQ(spy.count(), 1);

  // Every written value reads back as written, including those whose quotient
  // is not exact in binary (29 / 100 * 100 is 28.999...).
  for (int value : {29, -29, 57, 1, -1, 123456, -999999, 1000000})
  {
    manager.setModelPosX(value);
    manager.setModelRotateZ(value);
    EXPECT_EQ(manager.modelPosX(), value);
    EXPECT_EQ(manager.modelRotateZ(), value);
  }
}

TEST(ManagerWrites, SliderStaysWithinTheAnimationRange)
{
  Manager manager;
  QSignalSpy spy(&manager, &Manager::sliderValChanged);
  manager.setSliderVal(1.0);
  EXPECT_DOUBLE_EQ(manager.sliderVal(), 1.0);
  manager.setSliderVal(1.5);
  EXPECT_DOUBLE_EQ(manager.sliderVal(), 0.0);
  EXPECT_EQ(spy.count(), 2);

  // Out of range while already at 0 still notifies.
  manager.setSliderVal(-0.5);
  EXPECT_DOUBLE_EQ(manager.sliderVal(), 0.0);
  EXPECT_EQ(spy.count(), 3);

  manager.setSliderVal(0.25);
  manager.setSliderVal(0.25 + 1e-7);
  EXPECT_DOUBLE_EQ(manager.sliderVal(), 0.25);
  EXPECT_EQ(spy.count(), 4);
}

TEST(ManagerWrites, SpeedFallsBackToOneBelowEpsilon)
{
  Manager manager;
  manager.setSpeedVal(2.0);
  QSignalSpy spy(&manager, &Manager::speedValChanged);
  manager.setSpeedVal(0.0);
  EXPECT_DOUBLE_EQ(manager.speedVal(), 1.0);
  EXPECT_EQ(spy.count(), 1);
  manager.setSpeedVal(-3.0);
  EXPECT_DOUBLE_EQ(manager.speedVal(), 1.0);
  EXPECT_EQ(spy.count(), 2);
  manager.setSpeedVal(1.0 + 5e-8);
  EXPECT_EQ(spy.count(), 2);
}

TEST(ManagerProperties, EveryPropertyHasItsChangeSignal)
{
  Manager manager;
  const QMetaObject* meta = manager.metaObject();
  for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
  {
    const QMetaProperty property = meta->property(i);
    ASSERT_TRUE(property.hasNotifySignal()) << property.name();
    EXPECT_EQ(property.notifySignal().name(), QByteArray(property.name()) + "Changed");
  }
  EXPECT_EQ(meta->propertyCount() - meta->propertyOffset(), 42);
  EXPECT_FALSE(meta->property(meta->indexOfProperty("recentFiles")).isWritable());
  EXPECT_FALSE(meta->property(meta->indexOfProperty("modelNames")).isWritable());
}
} // namespace
