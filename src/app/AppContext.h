#pragma once

#include <QString>

class QGuiApplication;
class QQmlApplicationEngine;

namespace ML
{
class Manager;

// The window document the program loads.
inline const QString DefaultWindowDocument = QStringLiteral("qrc:/main.qml");

// Start-up holder, created on the stack of main: the application, the QML
// engine and the window's Manager, torn down in that reverse order.
class AppContext
{
public:
  // Creates the application and the engine, loads the window and links the
  // Manager with the view. Ends the process with status -1 when the window
  // document cannot be loaded or lacks its "slider1" or "vtkItem" objects.
  AppContext(int& argc, char** argv, const QString& windowDocument = DefaultWindowDocument);
  ~AppContext();
  AppContext(const AppContext&) = delete;
  AppContext& operator=(const AppContext&) = delete;

  // Opens the models named on the command line, or the most recent file, and
  // starts the animation clock.
  void start(int argc, char** argv);

  QGuiApplication* application = nullptr;
  QQmlApplicationEngine* engine = nullptr;
  Manager* manager = nullptr;
};

} // namespace ML
