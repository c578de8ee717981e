#pragma once

#include <QImage>
#include <QPointF>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>
#include <QTemporaryDir>

#include <vector>

#include "Manager.h"
#include "VtkItem.h"

namespace ML::Test
{
// A render task that the window's commands queued, with the Manager's state at
// the moment it was queued (what the window had written before the call).
struct QueuedTask
{
  using Function = void (*)(VtkItem*, VtkItem::Data*);
  Function function = nullptr; // null for a task that is a lambda
  ManagerState state;
};

// The program's window document, loaded from the resources and linked with a
// Manager and its view as start-up does, shown on the screen and driven with
// real mouse and key events. Render tasks run on the render thread unless the
// test records them instead (recordTasks).
class WindowFixture
{
public:
  WindowFixture();
  ~WindowFixture();
  WindowFixture(const WindowFixture&) = delete;
  WindowFixture& operator=(const WindowFixture&) = delete;

  // Lookup by object name, through the object tree and the visual item tree
  // (items made by repeaters and instantiators are only in one of them).
  QObject* object(const QString& name) const;
  QQuickItem* item(const QString& name) const;
  // A visible item under `under` (the whole window by default) whose "text"
  // property equals `text`.
  QQuickItem* itemWithText(const QString& text, QQuickItem* under = nullptr) const;
  // The visible items under `under` that are of the QML/C++ type `typeName`
  // (e.g. "QQuickCheckBox"), in tree order.
  QList<QQuickItem*> itemsOfType(const char* typeName, QQuickItem* under = nullptr) const;

  void click(QQuickItem* target);
  void clickAt(QQuickItem* target, QPointF local);
  void drag(QQuickItem* target, QPointF fromLocal, QPointF toLocal);
  // Clicks into a text field and replaces its text by typing.
  void typeText(QQuickItem* field, const QString& text);
  // Clicks into the text field of an editable spin box, replaces its text and
  // presses Return.
  void typeInto(QQuickItem* spinBox, const QString& text);
  void openMenu(const QString& title);
  // The item of the menu bar's menu whose submenu is `subMenu`.
  QQuickItem* subMenuItem(QObject* subMenu) const;

  // From now on the commands' render tasks are recorded in `tasks` and not run.
  void recordTasks();
  int queued(QueuedTask::Function function) const;
  const QueuedTask* lastQueued(QueuedTask::Function function) const;

  // Opens the files through the Manager and waits until the load has ended.
  bool openModels(const QStringList& paths);
  // Waits until more than `endsBefore` loads have ended (openSourceEnd).
  bool waitForLoadEnd(int endsBefore, int timeoutMs = 60000);
  bool isSplashVisible() const;

  // Saves a picture of the window under the build tree's ui-screenshots folder.
  QImage screenshot(const QString& name);

  QTemporaryDir configDir;
  QQmlApplicationEngine engine;
  Manager* manager = nullptr;
  QQuickWindow* window = nullptr;
  VtkItem* view = nullptr;
  bool shown = false; // the window came up and took the keyboard
  std::vector<QueuedTask> tasks;
  int loadsEnded = 0;
  int loadErrors = 0;
};

QString sharedModelPath(const char* name);
} // namespace ML::Test
