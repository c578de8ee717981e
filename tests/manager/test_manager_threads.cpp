// Whatever thread a render task runs on, the window must only ever see the
// Manager's signals on the GUI thread.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMetaMethod>
#include <QMutex>
#include <QThread>

#include <vtkCamera.h>

#include <thread>

#include "Manager.h"
#include "RenderTasks.h"
#include "ViewHarness.h"

namespace
{
using ML::Manager;

// Connected to every signal of the Manager with direct connections: records the
// thread each emission runs on.
class SignalProbe : public QObject
{
  Q_OBJECT

public:
  explicit SignalProbe(Manager& manager)
  {
    const QMetaObject* meta = manager.metaObject();
    const QMetaMethod record = metaObject()->method(metaObject()->indexOfSlot("record()"));
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
    {
      const QMetaMethod method = meta->method(i);
      if (method.methodType() == QMetaMethod::Signal)
      {
        QObject::connect(&manager, method, this, record, Qt::DirectConnection);
        ++signalCount;
      }
    }
  }

  QList<QThread*> threads() const
  {
    QMutexLocker lock(&mutex);
    return seen;
  }
  QStringList names() const
  {
    QMutexLocker lock(&mutex);
    return emitted;
  }

  int signalCount = 0;

public slots:
  void record()
  {
    QMutexLocker lock(&mutex);
    seen.append(QThread::currentThread());
    emitted.append(QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name()));
  }

private:
  mutable QMutex mutex;
  QList<QThread*> seen;
  QStringList emitted;
};

void runOnOtherThread(const std::function<void()>& work)
{
  std::thread worker(work);
  worker.join();
}

TEST(ManagerThreads, ProbeSeesEverySignal)
{
  Manager manager;
  SignalProbe probe(manager);
  EXPECT_EQ(probe.signalCount, 45);
}

TEST(ManagerThreads, WritesFromTheRenderThreadAreDeliveredOnTheGuiThread)
{
  ML::Test::ViewHarness harness;
  Manager& manager = harness.manager;
  SignalProbe probe(manager);

  runOnOtherThread(
      [&]
      {
        manager.setCameraPosX(7);
        manager.setNumberOfAnimations(3);
        manager.setSliderVal(0.5);
        manager.state.sceneLight = true;
        manager.notify(&Manager::sceneLightChanged);
        manager.notify(&Manager::modelNamesChanged);
        manager.notify(&Manager::openSourceEnd);
      });

  // Nothing reached the window while the task ran.
  EXPECT_TRUE(probe.threads().isEmpty());
  QCoreApplication::processEvents();

  const QStringList expected{"cameraPosXChanged", "numberOfAnimationsChanged", "sliderValChanged",
                             "sceneLightChanged", "modelNamesChanged",         "openSourceEnd"};
  EXPECT_EQ(probe.names(), expected);
  for (QThread* thread : probe.threads())
  {
    EXPECT_EQ(thread, QCoreApplication::instance()->thread());
  }
  // The values were written when the task ran.
  EXPECT_EQ(manager.cameraPosX(), 7);
  EXPECT_EQ(manager.numberOfAnimations(), 3);
}

TEST(ManagerThreads, CameraFeedbackFromTheRenderThreadReachesTheGuiThread)
{
  ML::Test::ViewHarness harness;
  SignalProbe probe(harness.manager);
  vtkCamera* camera = harness.data->renderer->GetActiveCamera();
  camera->SetPosition(12.7, -3.9, 100.2);
  camera->SetFocalPoint(1.5, 2.5, -3.5);

  runOnOtherThread([&] { ML::onCameraChanged(nullptr, 0, harness.data, nullptr); });
  QCoreApplication::processEvents();

  EXPECT_EQ(probe.names().size(), 6);
  for (QThread* thread : probe.threads())
  {
    EXPECT_EQ(thread, QCoreApplication::instance()->thread());
  }
  EXPECT_EQ(harness.manager.cameraPosX(), 12);
  EXPECT_EQ(harness.manager.cameraPosY(), -3);
  EXPECT_EQ(harness.manager.cameraPosZ(), 100);
  EXPECT_EQ(harness.manager.cameraFpZ(), -3);
}

TEST(ManagerThreads, TasksOnTheGuiThreadNotifyAfterTheSynchronisation)
{
  // Qt Quick's non-threaded render loop runs render tasks on the GUI thread.
  Manager manager;
  SignalProbe probe(manager);
  {
    Manager::RenderTaskScope task;
    manager.setShowGrid(true);
    manager.notify(&Manager::openSourceEnd);
    EXPECT_TRUE(probe.names().isEmpty());
  }
  manager.setShowAxes(true);
  EXPECT_EQ(probe.names(), QStringList{"showAxesChanged"});
  QCoreApplication::processEvents();
  EXPECT_EQ(probe.names(), (QStringList{"showAxesChanged", "showGridChanged", "openSourceEnd"}));
}

TEST(ManagerThreads, GuiWorkPostedFromTheRenderThreadKeepsItsOrder)
{
  Manager manager;
  QList<int> order;
  QList<QThread*> threads;
  runOnOtherThread(
      [&]
      {
        for (int i = 0; i < 5; ++i)
        {
          manager.runOnGuiThread(
              [&, i]
              {
                order.append(i);
                threads.append(QThread::currentThread());
              });
        }
      });
  EXPECT_TRUE(order.isEmpty());
  QCoreApplication::processEvents();
  EXPECT_EQ(order, (QList<int>{0, 1, 2, 3, 4}));
  for (QThread* thread : threads)
  {
    EXPECT_EQ(thread, manager.thread());
  }
}
} // namespace

#include "test_manager_threads.moc"
