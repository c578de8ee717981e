#include "Manager.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QThread>

#include <memory>

#include <cmath>
#include <limits>

namespace ML
{
namespace
{
// Single-precision epsilon: the tolerance of the slider and speed properties.
constexpr double Epsilon = 1.1920928955078125e-7;
} // namespace

Manager::Manager(QObject* parent)
    : QObject(parent), m_ownTreeModel(new QStandardItemModel(this)), m_treeModel(m_ownTreeModel)
{
  state.playIcon = QStringLiteral("qrc:/marionette_lab/icons/play1.png");
  // About one tick per frame of a 60 Hz display; a slower render thread simply
  // takes fewer steps, each covering more time.
  animationTimer.setInterval(16);
  animationTimer.setTimerType(Qt::PreciseTimer);
  connect(&animationTimer, &QTimer::timeout, this, &Manager::timerSlot);
  wallClock = [clock = std::make_shared<QElapsedTimer>()]
  {
    if (!clock->isValid())
    {
      clock->start();
    }
    return static_cast<double>(clock->nsecsElapsed()) * 1e-9;
  };
}

Manager::~Manager()
{
  delete m_ownTreeModel;
}

namespace
{
thread_local int renderTaskDepth = 0;
} // namespace

Manager::RenderTaskScope::RenderTaskScope()
{
  ++renderTaskDepth;
}

Manager::RenderTaskScope::~RenderTaskScope()
{
  --renderTaskDepth;
}

bool Manager::RenderTaskScope::active()
{
  return renderTaskDepth > 0;
}

bool Manager::deliversDirectly() const
{
  return QThread::currentThread() == thread() && !RenderTaskScope::active();
}

void Manager::notify(Signal signal)
{
  if (deliversDirectly())
  {
    (this->*signal)();
    return;
  }
  QMetaObject::invokeMethod(
      this, [this, signal] { (this->*signal)(); }, Qt::QueuedConnection);
}

void Manager::runOnGuiThread(std::function<void()> work)
{
  if (deliversDirectly())
  {
    work();
    return;
  }
  QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

template <typename T>
void Manager::assign(T& field, const T& value, Signal signal)
{
  if (field == value)
  {
    return;
  }
  field = value;
  notify(signal);
}

void Manager::assignWhole(double& field, int value, Signal signal)
{
  assign(field, static_cast<double>(value), signal);
}

// Transform properties hold hundredths: the stored value is the written integer
// divided by the factor, and reading rounds back to the nearest integer so that
// every written value reads back unchanged.
void Manager::assignScaled(double& field, int value, Signal signal)
{
  assign(field, value / transformFactor, signal);
}

int Manager::scaled(double value) const
{
  return static_cast<int>(std::lround(value * transformFactor));
}

void Manager::setPlayIcon(const QString& value)
{
  assign(state.playIcon, value, &Manager::playIconChanged);
}

void Manager::setTreeModel(QStandardItemModel* value)
{
  assign(m_treeModel, value, &Manager::treeModelChanged);
}

void Manager::setLoadOnStartup(bool value)
{
  assign(state.loadOnStartup, value, &Manager::loadOnStartupChanged);
}

void Manager::setShowAxes(bool value)
{
  assign(state.showAxes, value, &Manager::showAxesChanged);
}

void Manager::setShowGrid(bool value)
{
  assign(state.showGrid, value, &Manager::showGridChanged);
}

void Manager::setShowSkeleton(bool value)
{
  assign(state.showSkeleton, value, &Manager::showSkeletonChanged);
}

void Manager::setSceneLight(bool value)
{
  assign(state.sceneLight, value, &Manager::sceneLightChanged);
}

void Manager::setUpDirection(int value)
{
  assign(state.upDirection, value, &Manager::upDirectionChanged);
}

void Manager::setRightDirection(int value)
{
  assign(state.rightDirection, value, &Manager::rightDirectionChanged);
}

void Manager::setNumberOfAnimations(int value)
{
  assign(state.numberOfAnimations, value, &Manager::numberOfAnimationsChanged);
}

void Manager::setCurrentAnimatoin(int value)
{
  assign(state.currentAnimatoin, value, &Manager::currentAnimatoinChanged);
}

void Manager::setSliderVal(double value)
{
  if (std::abs(value - state.sliderVal) <= Epsilon)
  {
    return;
  }
  state.sliderVal = (value > 1.0 || value < 0.0) ? 0.0 : value;
  notify(&Manager::sliderValChanged);
}

void Manager::setWireFrame(bool value)
{
  assign(state.wireFrame, value, &Manager::wireFrameChanged);
}

void Manager::setSpeedVal(double value)
{
  if (std::abs(value - state.speedVal) <= Epsilon)
  {
    return;
  }
  state.speedVal = value < Epsilon ? 1.0 : value;
  notify(&Manager::speedValChanged);
}

void Manager::setBackgroundColor(int value)
{
  assign(state.backgroundColor, value, &Manager::backgroundColorChanged);
}

void Manager::setCameraPosX(int value)
{
  assignWhole(state.cameraPosition[0], value, &Manager::cameraPosXChanged);
}

void Manager::setCameraPosY(int value)
{
  assignWhole(state.cameraPosition[1], value, &Manager::cameraPosYChanged);
}

void Manager::setCameraPosZ(int value)
{
  assignWhole(state.cameraPosition[2], value, &Manager::cameraPosZChanged);
}

void Manager::setCameraFpX(int value)
{
  assignWhole(state.cameraFocalPoint[0], value, &Manager::cameraFpXChanged);
}

void Manager::setCameraFpY(int value)
{
  assignWhole(state.cameraFocalPoint[1], value, &Manager::cameraFpYChanged);
}

void Manager::setCameraFpZ(int value)
{
  assignWhole(state.cameraFocalPoint[2], value, &Manager::cameraFpZChanged);
}

void Manager::setSurfaceLight(int value)
{
  assign(state.surfaceLight, value, &Manager::surfaceLightChanged);
}

void Manager::setLightPosX(int value)
{
  assignWhole(state.currentLightSlot().position[0], value, &Manager::lightPosXChanged);
}

void Manager::setLightPosY(int value)
{
  assignWhole(state.currentLightSlot().position[1], value, &Manager::lightPosYChanged);
}

void Manager::setLightPosZ(int value)
{
  assignWhole(state.currentLightSlot().position[2], value, &Manager::lightPosZChanged);
}

void Manager::setLightFpX(int value)
{
  assignWhole(state.currentLightSlot().focalPoint[0], value, &Manager::lightFpXChanged);
}

void Manager::setLightFpY(int value)
{
  assignWhole(state.currentLightSlot().focalPoint[1], value, &Manager::lightFpYChanged);
}

void Manager::setLightFpZ(int value)
{
  assignWhole(state.currentLightSlot().focalPoint[2], value, &Manager::lightFpZChanged);
}

void Manager::setLightColor(const QColor& value)
{
  assign(state.currentLightSlot().color, value, &Manager::lightColorChanged);
}

void Manager::setShowLightWidget(bool value)
{
  assign(state.showLightWidget, value, &Manager::showLightWidgetChanged);
}

// The window offers three lights only; anything else would index past the slots
// that every light property reads, so such a write is ignored.
void Manager::setCurrentLight(int value)
{
  if (value < 0 || value >= static_cast<int>(state.lights.size()))
  {
    return;
  }
  assign(state.currentLight, value, &Manager::currentLightChanged);
}

void Manager::setCurrentModel(int value)
{
  assign(state.currentModel, value, &Manager::currentModelChanged);
}

void Manager::setModelPosX(int value)
{
  assignScaled(state.modelPosition[0], value, &Manager::modelPosXChanged);
}

void Manager::setModelPosY(int value)
{
  assignScaled(state.modelPosition[1], value, &Manager::modelPosYChanged);
}

void Manager::setModelPosZ(int value)
{
  assignScaled(state.modelPosition[2], value, &Manager::modelPosZChanged);
}

void Manager::setModelScaleX(int value)
{
  assignScaled(state.modelScale[0], value, &Manager::modelScaleXChanged);
}

void Manager::setModelScaleY(int value)
{
  assignScaled(state.modelScale[1], value, &Manager::modelScaleYChanged);
}

void Manager::setModelScaleZ(int value)
{
  assignScaled(state.modelScale[2], value, &Manager::modelScaleZChanged);
}

void Manager::setModelRotateX(int value)
{
  assignScaled(state.modelRotation[0], value, &Manager::modelRotateXChanged);
}

void Manager::setModelRotateY(int value)
{
  assignScaled(state.modelRotation[1], value, &Manager::modelRotateYChanged);
}

void Manager::setModelRotateZ(int value)
{
  assignScaled(state.modelRotation[2], value, &Manager::modelRotateZChanged);
}
} // namespace ML
