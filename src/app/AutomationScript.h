#pragma once

#include <QObject>
#include <QString>

namespace ML
{
class AppContext;

// Drives the running program from the environment, for end-to-end tests and
// for taking screenshots: MARIONETTE_LAB_SCRIPT holds steps separated by ';',
// each "<milliseconds after the window first shows>:<action>", where action is
//   grab=<png path>   save a picture of the window
//   screen=<png path> save a picture of the whole screen (the busy window too)
//   open=<path>, add=<path>  open that model file (writing "open <time>"), or add
//                     it to those shown
//   call=<name>       invoke the Manager's invokable of that name
//   print=<property>  write "<property>=<value>" of the Manager to standard output
//                     (lists joined by '|')
//   set=<property>=<value>  write a property of the Manager
//   click=<name>      left-click the middle of the window item of that object name
//   geometry=<name>   write "geometry:<name>=x,y,width,height" of that window item
//   export=<path>     export all loaded models to that file
//   frames=1          from now on write "frame <time>" at every frame of the window
//   quit=<code>       leave the event loop with that exit code
// Every openSourceEnd writes "openSourceEnd <time>". Times are seconds on the
// monotonic clock, taken when the event happens. Nothing happens when the
// variable is unset.
class AutomationScript : public QObject
{
  Q_OBJECT

public:
  static void startFromEnvironment(AppContext& context);

private:
  AutomationScript(AppContext& context, const QString& script);
  void schedule(int delayMs, const QString& action);
  void perform(const QString& action);
  void click(const QString& objectName);
  void printGeometry(const QString& objectName);

  AppContext& context;
};
} // namespace ML
