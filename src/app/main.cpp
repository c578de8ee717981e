#include <QGuiApplication>
#include <QIcon>
#include <QQuickVTKItem.h>
#include <QUrl>

#include "AppContext.h"
#ifdef ML_AUTOMATION_SCRIPT
#include "AutomationScript.h"
#endif
#include "CommandLine.h"
#include "vtkMLObjectFactory.h"

int main(int argc, char* argv[])
{
  if (const std::optional<int> status = ML::runWithoutWindow(argc, argv))
  {
    return *status;
  }
  QQuickVTKItem::setGraphicsApi();
  initializeRenderingExtensions();

#ifdef ML_AUTOMATION_SCRIPT
  // The end-to-end tests swap the window document too.
  const QString window = qEnvironmentVariable("MARIONETTE_LAB_WINDOW");
  ML::AppContext context(
      argc, argv,
      window.isEmpty() ? ML::DefaultWindowDocument
                       : QUrl::fromUserInput(window, QString(), QUrl::AssumeLocalFile).toString());
#else
  ML::AppContext context(argc, argv);
#endif
  QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/logo.ico")));
  context.start(argc, argv);
#ifdef ML_AUTOMATION_SCRIPT
  ML::AutomationScript::startFromEnvironment(context);
#endif
  return QGuiApplication::exec();
}
