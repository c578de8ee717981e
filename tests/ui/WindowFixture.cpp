#include "WindowFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QQmlContext>
#include <QQmlFileSelector>
#include <QQuickVTKItem.h>
#include <QSet>
#include <QTest>
#include <QUrl>
#include <QtQml/qqml.h>

#include "TestPaths.h"
#include "vtkMLObjectFactory.h"

namespace ML::Test
{
namespace
{
// Qt Quick has to render through OpenGL for the view, which must be settled
// before the application object exists; the test main creates that object.
const bool renderingPrepared = []
{
  QQuickVTKItem::setGraphicsApi();
  initializeRenderingExtensions();
  return true;
}();

void registerTypesOnce()
{
  static const bool registered = []
  {
    qRegisterMetaType<QList<QUrl>>("QList<QUrl>");
    qmlRegisterType<VtkItem>("marionette_lab", 1, 0, "VtkItem");
    qmlRegisterType<Manager>("marionette_lab", 1, 0, "Manager");
    return true;
  }();
  Q_UNUSED(registered);
}

// Depth-first walk over both trees: objects made by a Repeater have a visual
// parent but no QObject parent, popups and menus the other way round.
template <typename Visit>
bool walk(QObject* root, Visit&& visit, QSet<QObject*>& seen)
{
  if (!root || seen.contains(root))
    return false;
  seen.insert(root);
  if (visit(root))
    return true;
  if (auto* item = qobject_cast<QQuickItem*>(root))
  {
    for (QQuickItem* child : item->childItems())
      if (walk(child, visit, seen))
        return true;
  }
  for (QObject* child : root->children())
    if (walk(child, visit, seen))
      return true;
  return false;
}

template <typename Visit>
void walk(QObject* root, Visit&& visit)
{
  QSet<QObject*> seen;
  walk(root, visit, seen);
}

bool effectivelyVisible(const QQuickItem* item)
{
  return item && item->isVisible() && item->window();
}
} // namespace

QString sharedModelPath(const char* name)
{
  return QString::fromStdString(sharedModel(name));
}

WindowFixture::WindowFixture()
{
  Q_UNUSED(renderingPrepared);
  registerTypesOnce();
  manager = new Manager(&engine);
  manager->configDir = configDir.path();
  engine.rootContext()->setContextProperty(
      "helpPageUrl", QUrl::fromLocalFile(QStringLiteral(ML_BINARY_DIR "/help.html")));
  {
    QQmlFileSelector selector(&engine);
    selector.setExtraSelectors({QStringLiteral("nativemenubar")});
    engine.setInitialProperties({{QStringLiteral("manager"), QVariant::fromValue(manager)}});
    engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
  }
  if (engine.rootObjects().isEmpty())
    return;
  window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());
  manager->slider = window->findChild<QObject*>(QStringLiteral("slider1"));
  view = window->findChild<VtkItem*>(QStringLiteral("vtkItem"));
  if (view)
  {
    manager->vtkItem = view;
    view->manager = manager;
  }
  QObject::connect(manager, &Manager::openSourceEnd, [this] { ++loadsEnded; });
  QObject::connect(manager, &Manager::openSourceError, [this] { ++loadErrors; });
  window->setPosition(0, 0);
  window->requestActivate();
  shown = QTest::qWaitForWindowExposed(window) && QTest::qWaitForWindowActive(window);
  // Let the first frames settle the layouts before anything is clicked.
  QTest::qWait(100);
}

WindowFixture::~WindowFixture()
{
  // Tasks still queued refer to the view; let the render thread finish them.
  QTest::qWait(50);
}

QObject* WindowFixture::object(const QString& name) const
{
  QObject* found = nullptr;
  walk(window,
       [&](QObject* candidate)
       {
         if (candidate->objectName() != name)
           return false;
         found = candidate;
         return true;
       });
  return found;
}

QQuickItem* WindowFixture::item(const QString& name) const
{
  QQuickItem* found = nullptr;
  walk(window,
       [&](QObject* candidate)
       {
         auto* asItem = qobject_cast<QQuickItem*>(candidate);
         if (!asItem || candidate->objectName() != name)
           return false;
         found = asItem;
         return true;
       });
  return found;
}

QQuickItem* WindowFixture::itemWithText(const QString& text, QQuickItem* under) const
{
  QQuickItem* found = nullptr;
  walk(under ? static_cast<QObject*>(under) : window->contentItem(),
       [&](QObject* candidate)
       {
         auto* asItem = qobject_cast<QQuickItem*>(candidate);
         if (!effectivelyVisible(asItem) || asItem->property("text").toString() != text)
           return false;
         found = asItem;
         return true;
       });
  return found;
}

QList<QQuickItem*> WindowFixture::itemsOfType(const char* typeName, QQuickItem* under) const
{
  QList<QQuickItem*> found;
  walk(under ? static_cast<QObject*>(under) : window->contentItem(),
       [&](QObject* candidate)
       {
         auto* asItem = qobject_cast<QQuickItem*>(candidate);
         if (effectivelyVisible(asItem) && candidate->inherits(typeName))
           found.append(asItem);
         return false;
       });
  return found;
}

void WindowFixture::click(QQuickItem* target)
{
  if (!target)
  {
    ADD_FAILURE() << "nothing to click";
    return;
  }
  clickAt(target, QPointF(target->width() / 2, target->height() / 2));
}

void WindowFixture::clickAt(QQuickItem* target, QPointF local)
{
  if (!target)
  {
    ADD_FAILURE() << "nothing to click";
    return;
  }
  const QPoint scenePoint = target->mapToScene(local).toPoint();
  QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, scenePoint);
  QTest::qWait(30);
}

void WindowFixture::drag(QQuickItem* target, QPointF fromLocal, QPointF toLocal)
{
  const QPoint from = target->mapToScene(fromLocal).toPoint();
  const QPoint to = target->mapToScene(toLocal).toPoint();
  QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, from);
  constexpr int steps = 10;
  for (int i = 1; i <= steps; ++i)
  {
    QTest::mouseMove(window, from + (to - from) * i / steps);
    QTest::qWait(5);
  }
  QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, to);
  QTest::qWait(30);
}

void WindowFixture::typeText(QQuickItem* field, const QString& text)
{
  click(field);
  QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
  for (const QChar character : text)
    QTest::keyClick(window, character.toLatin1());
}

void WindowFixture::typeInto(QQuickItem* spinBox, const QString& text)
{
  typeText(spinBox->property("contentItem").value<QQuickItem*>(), text);
  QTest::keyClick(window, Qt::Key_Return);
  QTest::qWait(30);
}

void WindowFixture::openMenu(const QString& title)
{
  QQuickItem* menuBarItem = nullptr;
  walk(window->contentItem(),
       [&](QObject* candidate)
       {
         auto* asItem = qobject_cast<QQuickItem*>(candidate);
         if (!asItem || !candidate->inherits("QQuickMenuBarItem") ||
             asItem->property("text").toString() != title)
           return false;
         menuBarItem = asItem;
         return true;
       });
  if (menuBarItem)
    click(menuBarItem);
}

QQuickItem* WindowFixture::subMenuItem(QObject* subMenu) const
{
  QQuickItem* found = nullptr;
  walk(window,
       [&](QObject* candidate)
       {
         auto* asItem = qobject_cast<QQuickItem*>(candidate);
         if (!asItem || !candidate->inherits("QQuickMenuItem") ||
             candidate->property("subMenu").value<QObject*>() != subMenu)
           return false;
         found = asItem;
         return true;
       });
  return found;
}

void WindowFixture::recordTasks()
{
  view->setTaskDispatcher(
      [this](VtkItem::RenderTask task)
      {
        QueuedTask record;
        if (const auto* function = task.target<QueuedTask::Function>())
          record.function = *function;
        record.state = manager->state;
        tasks.push_back(std::move(record));
      });
}

int WindowFixture::queued(QueuedTask::Function function) const
{
  return static_cast<int>(std::count_if(tasks.begin(), tasks.end(),
                                        [function](const QueuedTask& task)
                                        { return task.function == function; }));
}

const QueuedTask* WindowFixture::lastQueued(QueuedTask::Function function) const
{
  for (auto it = tasks.rbegin(); it != tasks.rend(); ++it)
    if (it->function == function)
      return &*it;
  return nullptr;
}

bool WindowFixture::openModels(const QStringList& paths)
{
  const int before = loadsEnded;
  manager->openModels(paths);
  return waitForLoadEnd(before);
}

bool WindowFixture::waitForLoadEnd(int endsBefore, int timeoutMs)
{
  const bool ended = QTest::qWaitFor([&] { return loadsEnded > endsBefore; }, timeoutMs);
  QTest::qWait(50);
  return ended;
}

bool WindowFixture::isSplashVisible() const
{
  auto* splash = window->findChild<QQuickWindow*>(QStringLiteral("splashWindow"));
  return splash && splash->isVisible();
}

QImage WindowFixture::screenshot(const QString& name)
{
  const QImage image = window->grabWindow();
  const QString dir = QStringLiteral(ML_BINARY_DIR "/ui-screenshots");
  QDir().mkpath(dir);
  image.save(dir + "/" + name + ".png");
  return image;
}
} // namespace ML::Test
