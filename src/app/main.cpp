#include <QDebug>
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

#include <vtkLogger.h>

namespace
{
// The rendering extensions report through VTK's log, whose own output the set-up
// turns off: its warnings join the program's messages.
void forwardVtkWarnings()
{
  vtkLogger::AddCallback(
      "marionette-lab",
      [](void*, const vtkLogger::Message& message) { qWarning().noquote() << message.message; },
      nullptr, vtkLogger::VERBOSITY_WARNING);
}
} // namespace

int main(int argc, char* argv[])
{
  if (const std::optional<int> status = ML::runWithoutWindow(argc, argv))
  {
    return *status;
  }
  QQuickVTKItem::setGraphicsApi();
  initializeRenderingExtensions();
  forwardVtkWarnings();

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
