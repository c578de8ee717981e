#pragma once

#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <QRegularExpression>
#include <QStringList>
#include <QThread>

#include "Manager.h"

namespace ML::Test
{
// Records, in order, every signal the Manager emits while it lives: its name and
// the thread it was emitted on (direct connections, so the emitting thread).
class SignalTrace : public QObject
{
  Q_OBJECT

public:
  explicit SignalTrace(Manager& manager)
  {
    const QMetaObject* meta = manager.metaObject();
    const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("record()"));
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
      if (meta->method(i).methodType() == QMetaMethod::Signal)
        connect(&manager, meta->method(i), this, slot, Qt::DirectConnection);
  }

  int count(const QString& name) const { return static_cast<int>(names.count(name)); }
  // The names without the busy window's progress signals, which every load sends.
  QStringList events() const { return names.filter(QRegularExpression("^(?!load)")); }
  QStringList lastEvents(int count) const { return events().mid(events().size() - count); }
  void clear() { names.clear(), threads.clear(); }

  QStringList names;
  QList<QThread*> threads;

private slots:
  void record()
  {
    threads.append(QThread::currentThread());
    names.append(sender()->metaObject()->method(senderSignalIndex()).name());
  }
};
} // namespace ML::Test
