#include <QGuiApplication>
#include <QIcon>
#include <QQuickVTKItem.h>

#include "AppContext.h"
#include "AutomationScript.h"
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

  ML::AppContext context(argc, argv);
  QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/logo.ico")));
  context.start(argc, argv);
  ML::AutomationScript::startFromEnvironment(context);
  return QGuiApplication::exec();
}
