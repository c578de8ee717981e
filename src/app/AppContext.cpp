#include "AppContext.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlFileSelector>
#include <QStandardPaths>
#include <QUrl>
#include <QtQml/qqml.h>
#include <QtQml/qqmlmoduleregistration.h>

#include <cstdlib>

#include "Manager.h"
#include "VtkItem.h"

namespace
{
void registerMarionetteLabModule()
{
  qmlRegisterModule("marionette_lab", 1, 0);
}

const QQmlModuleRegistration marionetteLabRegistration("marionette_lab",
                                                       registerMarionetteLabModule);

[[noreturn]] void failStartUp(const char* message)
{
  qDebug() << message;
  std::exit(-1);
}

// The help page ships beside the executable in the build tree and under the data
// directory once installed.
QUrl helpPageUrl()
{
  const QDir dir(QCoreApplication::applicationDirPath());
  for (const QString& candidate : {dir.filePath(QStringLiteral("help.html")),
                                   dir.filePath(QStringLiteral(ML_HELP_FROM_BINDIR))})
  {
    if (QFileInfo::exists(candidate))
    {
      return QUrl::fromLocalFile(QFileInfo(candidate).canonicalFilePath());
    }
  }
  return {};
}

bool fileArgumentGiven(int argc, char** argv)
{
  return argc >= 2 && argv[1][0] != '\0' && QFileInfo::exists(QString::fromUtf8(argv[1]));
}
} // namespace

namespace ML
{
AppContext::AppContext(int& argc, char** argv, const QString& windowDocument)
{
  application = new QGuiApplication(argc, argv);
  // The scripted test variant of the program keeps the same settings folder.
  QCoreApplication::setApplicationName(QStringLiteral("marionette-lab"));
  engine = new QQmlApplicationEngine();
  manager = new Manager(engine);
  manager->application = application;
  // The program's own folder of the per-user configuration directory
  // (~/.config/marionette-lab on Linux): settings.json is too common a name to sit
  // in the shared directory itself.
  manager->configDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);

  qRegisterMetaType<ML::VtkItem*>("ML::VtkItem*");
  qRegisterMetaType<ML::Manager*>("ML::Manager*");
  qRegisterMetaType<QList<QUrl>>("QList<QUrl>");
  qmlRegisterType<ML::VtkItem>("marionette_lab", 1, 0, "VtkItem");
  qmlRegisterType<ML::Manager>("marionette_lab", 1, 0, "Manager");

  {
    QQmlFileSelector selector(engine);
    selector.setExtraSelectors({QStringLiteral("nativemenubar")});
    engine->rootContext()->setContextProperty(QStringLiteral("helpPageUrl"), helpPageUrl());
    engine->setInitialProperties({{QStringLiteral("manager"), QVariant::fromValue(manager)}});
    engine->load(QUrl(windowDocument));
  }

  if (engine->rootObjects().isEmpty())
  {
    failStartUp("... failed to load main.qml");
  }

  if (QObject* root = engine->rootObjects().constFirst())
  {
    if (QObject* slider = root->findChild<QObject*>(QStringLiteral("slider1")))
    {
      manager->slider = slider;
      if (auto* item = root->findChild<ML::VtkItem*>(QStringLiteral("vtkItem")))
      {
        manager->vtkItem = item;
        item->manager = manager;
      }
    }
  }
  if (!manager->vtkItem)
  {
    failStartUp("... failed to get qml ptrs");
  }
  // The window's background box shows the preset from the first frame on; the
  // view has to show it too, not VTK's black, until a load applies it again.
  manager->updateBackground();
}

AppContext::~AppContext()
{
  manager->saveRecentFiles();
  delete engine;
  delete application;
}

void AppContext::start(int argc, char** argv)
{
  if (fileArgumentGiven(argc, argv))
  {
    QStringList paths;
    for (int i = 1; i < argc; ++i)
    {
      const QString path = QString::fromUtf8(argv[i]);
      if (QFileInfo::exists(path))
      {
        paths.append(path);
      }
    }
    manager->loadFiles(paths);
  }
  else if (manager->loadRecentFiles())
  {
    if (!manager->state.recentFiles.isEmpty())
    {
      emit manager->recentFilesChanged();
      if (manager->state.loadOnStartup)
      {
        manager->loadFiles({manager->state.recentFiles.constFirst()});
      }
    }
  }
}
} // namespace ML
