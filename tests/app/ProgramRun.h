#pragma once

#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace ML::Test
{
// One run of the real program with its own configuration directory, so runs
// never see the developer's recent files or each other's.
struct ProgramRun
{
  ProgramRun();

  // Starts the program with `arguments` and the automation `script`, waits for
  // it to end and records its exit code and output.
  void run(const QStringList& arguments, const QString& script = QString(),
           const QString& window = QString(), int timeoutMs = 120000);

  QString settingsPath() const;
  // The value that a "print=<property>" step wrote.
  QString printed(const QString& property) const;
  // The window-space rectangle that a "geometry=<objectName>" step wrote.
  QRect geometry(const QString& objectName) const;

  QTemporaryDir home;
  QProcessEnvironment environment;
  int exitCode = -2;
  bool finished = false;
  QString output;
};
} // namespace ML::Test
