#include "AutomationScript.h"

#include <QDebug>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

#include <chrono>

#include "AppContext.h"
#include "Manager.h"

namespace ML
{
namespace
{
// "<event> <seconds>" on the monotonic clock, taken when the event happens: the
// benchmark reading the lines may be scheduled late on a busy machine.
void printTimed(const char* event)
{
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  QTextStream(stdout) << event << ' ' << Qt::fixed << qSetRealNumberPrecision(6)
                      << std::chrono::duration<double>(now).count() << Qt::endl;
}

QQuickWindow* mainWindow(const AppContext& context)
{
  const auto roots = context.engine->rootObjects();
  return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.constFirst());
}
} // namespace

void AutomationScript::startFromEnvironment(AppContext& context)
{
  const QString script = qEnvironmentVariable("MARIONETTE_LAB_SCRIPT");
  if (!script.isEmpty())
  {
    new AutomationScript(context, script);
  }
}

AutomationScript::AutomationScript(AppContext& context, const QString& script)
    : QObject(context.engine), context(context)
{
  QQuickWindow* window = mainWindow(context);
  if (!window)
  {
    return;
  }
  // Benchmarks time loads by these lines.
  connect(context.manager, &Manager::openSourceEnd, this, [] { printTimed("openSourceEnd"); });
  // Time runs from the first frame, so slow start-ups do not shift the steps.
  connect(
      window, &QQuickWindow::frameSwapped, this,
      [this, script]
      {
        for (const QString& step : script.split(u';', Qt::SkipEmptyParts))
        {
          const qsizetype colon = step.indexOf(u':');
          schedule(step.left(colon).trimmed().toInt(), step.mid(colon + 1).trimmed());
        }
      },
      Qt::SingleShotConnection);
}

void AutomationScript::schedule(int delayMs, const QString& action)
{
  // Precise: coarse timers may swap steps a few milliseconds apart.
  QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, action] { perform(action); });
}

// A left click in the middle of the window's item of that object name, as the
// user's mouse would give it.
void AutomationScript::click(const QString& objectName)
{
  QQuickWindow* window = mainWindow(context);
  auto* item = window ? window->findChild<QQuickItem*>(objectName) : nullptr;
  if (!item)
  {
    qDebug() << "No item to click:" << objectName;
    return;
  }
  const QPointF local(item->width() / 2, item->height() / 2);
  const QPointF scene = item->mapToScene(local);
  const QPointF global = window->mapToGlobal(scene);
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
  {
    QMouseEvent event(type, scene, scene, global, Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
  }
}

void AutomationScript::printGeometry(const QString& objectName)
{
  QQuickWindow* window = mainWindow(context);
  auto* item = window ? window->findChild<QQuickItem*>(objectName) : nullptr;
  if (!item)
  {
    return;
  }
  const QRectF box = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
  QTextStream(stdout) << "geometry:" << objectName << '=' << box.x() << ',' << box.y() << ','
                      << box.width() << ',' << box.height() << Qt::endl;
}

void AutomationScript::perform(const QString& action)
{
  const QString verb = action.section(u'=', 0, 0);
  const QString argument = action.section(u'=', 1);
  if (verb == u"grab")
  {
    if (QQuickWindow* window = mainWindow(context))
    {
      window->grabWindow().save(argument);
    }
  }
  else if (verb == u"call")
  {
    QMetaObject::invokeMethod(context.manager, argument.toUtf8().constData());
  }
  else if (verb == u"print")
  {
    const QVariant value = context.manager->property(argument.toUtf8().constData());
    const QString text =
        value.canConvert<QStringList>() && value.userType() == QMetaType::QStringList
            ? value.toStringList().join(u'|')
            : value.toString();
    QTextStream(stdout) << argument << '=' << text << Qt::endl;
  }
  else if (verb == u"set")
  {
    context.manager->setProperty(argument.section(u'=', 0, 0).toUtf8().constData(),
                                 argument.section(u'=', 1));
  }
  else if (verb == u"click")
  {
    click(argument);
  }
  else if (verb == u"geometry")
  {
    printGeometry(argument);
  }
  else if (verb == u"screen")
  {
    QGuiApplication::primaryScreen()->grabWindow(0).save(argument);
  }
  else if (verb == u"open")
  {
    printTimed("open");
    context.manager->openModels({argument});
  }
  else if (verb == u"add")
  {
    context.manager->addModelUrl(QUrl::fromLocalFile(argument));
  }
  else if (verb == u"export")
  {
    context.manager->exportSceneUrl(QUrl::fromLocalFile(argument));
  }
  else if (verb == u"frames")
  {
    // One line per frame of the main window, from now on.
    connect(
        mainWindow(context), &QQuickWindow::frameSwapped, this, [] { printTimed("frame"); },
        Qt::DirectConnection);
  }
  else if (verb == u"quit")
  {
    QGuiApplication::exit(argument.toInt());
  }
  else
  {
    qDebug() << "Unknown automation step" << action;
  }
}
} // namespace ML
