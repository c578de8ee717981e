#include "MessageLog.h"

#include <QMutex>

#include <vtkLogger.h>

namespace
{
QMutex logMutex;
QStringList logLines;

void collect(QtMsgType, const QMessageLogContext&, const QString& message)
{
  QMutexLocker lock(&logMutex);
  logLines.append(message);
}

void collectVtk(void*, const vtkLogger::Message& message)
{
  QMutexLocker lock(&logMutex);
  logLines.append(QString::fromUtf8(message.message));
}

const char* const VtkCallbackId = "ml-test-message-log";
} // namespace

namespace ML::Test
{
MessageLog::MessageLog() : previous(qInstallMessageHandler(collect))
{
  clear();
  vtkLogger::AddCallback(VtkCallbackId, collectVtk, nullptr, vtkLogger::VERBOSITY_WARNING);
}

MessageLog::~MessageLog()
{
  vtkLogger::RemoveCallback(VtkCallbackId);
  qInstallMessageHandler(previous);
}

QStringList MessageLog::lines() const
{
  QMutexLocker lock(&logMutex);
  return logLines;
}

int MessageLog::count(const QString& text) const
{
  QMutexLocker lock(&logMutex);
  return static_cast<int>(logLines.filter(text).size());
}

void MessageLog::clear()
{
  QMutexLocker lock(&logMutex);
  logLines.clear();
}
} // namespace ML::Test
