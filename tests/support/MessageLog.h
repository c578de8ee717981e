#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "QtPrinters.h"

namespace ML::Test
{
// Collects the lines written to Qt's message output and VTK's log (warnings and
// worse) while it is alive, so tests can check the program's diagnostics. Not
// nestable.
class MessageLog
{
public:
  MessageLog();
  ~MessageLog();
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  QStringList lines() const;
  bool contains(const QString& text) const { return count(text) > 0; }
  int count(const QString& text) const; // lines that contain text
  void clear();

private:
  QtMessageHandler previous;
};
} // namespace ML::Test
