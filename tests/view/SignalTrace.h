#pragma once

#include <QObject>
#include <QStringList>

#include <utility>

#include "Manager.h"

namespace ML::Test
{
// Records, in order, the Manager signals that the loading, tree and playback
// code emits, by name.
class SignalTrace
{
public:
  explicit SignalTrace(Manager& manager)
  {
    const std::pair<const char*, Manager::Signal> observed[] = {
        {"openSourceEnd", &Manager::openSourceEnd},
        {"openSourceError", &Manager::openSourceError},
        {"exportSourceError", &Manager::exportSourceError},
        {"modelNamesChanged", &Manager::modelNamesChanged},
        {"treeModelChanged", &Manager::treeModelChanged},
        {"recentFilesChanged", &Manager::recentFilesChanged},
        {"currentModelChanged", &Manager::currentModelChanged},
        {"currentAnimatoinChanged", &Manager::currentAnimatoinChanged},
        {"numberOfAnimationsChanged", &Manager::numberOfAnimationsChanged},
        {"playIconChanged", &Manager::playIconChanged},
        {"sliderValChanged", &Manager::sliderValChanged},
        {"sceneLightChanged", &Manager::sceneLightChanged},
        {"lightPosXChanged", &Manager::lightPosXChanged},
        {"lightPosYChanged", &Manager::lightPosYChanged},
        {"lightPosZChanged", &Manager::lightPosZChanged},
        {"lightFpXChanged", &Manager::lightFpXChanged},
        {"lightFpYChanged", &Manager::lightFpYChanged},
        {"lightFpZChanged", &Manager::lightFpZChanged},
        {"lightColorChanged", &Manager::lightColorChanged},
        {"upDirectionChanged", &Manager::upDirectionChanged},
        {"rightDirectionChanged", &Manager::rightDirectionChanged},
        {"surfaceLightChanged", &Manager::surfaceLightChanged},
    };
    for (const auto& [name, signal] : observed)
    {
      QObject::connect(&manager, signal, &this->Context,
                       [this, name = QString::fromLatin1(name)] { this->names.append(name); });
    }
  }

  int count(const QString& name) const { return static_cast<int>(this->names.count(name)); }
  void clear() { this->names.clear(); }

  QStringList names;

private:
  QObject Context;
};
} // namespace ML::Test
