#include "ProgramRun.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

namespace ML::Test
{
ProgramRun::ProgramRun() : environment(QProcessEnvironment::systemEnvironment())
{
  environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
  environment.insert("HOME", home.path());
  environment.insert("QT_QPA_PLATFORM", "xcb");
  environment.remove("MARIONETTE_LAB_SCRIPT");
  environment.remove("MARIONETTE_LAB_WINDOW");
  QDir(home.path()).mkpath("config/marionette-lab");
}

QString ProgramRun::settingsPath() const
{
  return home.filePath("config/marionette-lab/settings.json");
}

void ProgramRun::run(const QStringList& arguments, const QString& script, const QString& window,
                     int timeoutMs)
{
  QProcessEnvironment env = environment;
  if (!script.isEmpty())
  {
    env.insert("MARIONETTE_LAB_SCRIPT", script);
  }
  if (!window.isEmpty())
  {
    env.insert("MARIONETTE_LAB_WINDOW", window);
  }
  QProcess process;
  process.setProcessEnvironment(env);
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(ML_PROGRAM, arguments);
  finished = process.waitForFinished(timeoutMs);
  if (!finished)
  {
    process.kill();
    process.waitForFinished();
  }
  output = QString::fromUtf8(process.readAll());
  exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -3;
}

QString ProgramRun::printed(const QString& property) const
{
  const QRegularExpression line("^" + QRegularExpression::escape(property) + "=(.*)$",
                                QRegularExpression::MultilineOption);
  const QRegularExpressionMatch match = line.match(output);
  return match.hasMatch() ? match.captured(1) : QStringLiteral("<not printed>");
}
} // namespace ML::Test

namespace ML::Test
{
QRect ProgramRun::geometry(const QString& objectName) const
{
  const QRegularExpression line("^geometry:" + QRegularExpression::escape(objectName) +
                                    "=([-\\d.]+),([-\\d.]+),([-\\d.]+),([-\\d.]+)$",
                                QRegularExpression::MultilineOption);
  const QRegularExpressionMatch match = line.match(output);
  if (!match.hasMatch())
  {
    return {};
  }
  return QRect(qRound(match.captured(1).toDouble()), qRound(match.captured(2).toDouble()),
               qRound(match.captured(3).toDouble()), qRound(match.captured(4).toDouble()));
}
} // namespace ML::Test
