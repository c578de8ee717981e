#include "MessageLog.h"

#include <QMutex>

namespace
{
QMutex logMutex;
QStringList logLines;

void collect(QtMsgType, const QMessageLogContext&, const QString& message)
{
  QMutexLocker lock(&logMutex);
  logLines.append(message);
}
} // namespace

namespace ML::Test
{
MessageLog::MessageLog() : previous(qInstallMessageHandler(collect))
{
  clear();
}

MessageLog::~MessageLog()
{
  qInstallMessageHandler(previous);
}

QStringList MessageLog::lines() const
{
  QMutexLocker lock(&logMutex);
  return logLines;
}

bool MessageLog::contains(const QString& text) const
{
  return count(text) > 0;
}

int MessageLog::count(const QString& text) const
{
  QMutexLocker lock(&logMutex);
  int n = 0;
  for (const QString& line : logLines)
  {
    n += line.contains(text) ? 1 : 0;
  }
  return n;
}

void MessageLog::clear()
{
  QMutexLocker lock(&logMutex);
  logLines.clear();
}
} // namespace ML::Test
