#pragma once

#include <QString>

#include <string>

#include "QtPrinters.h"

namespace ML::Test
{
inline std::string assimpModel(const std::string& relative)
{
  return std::string(ML_ASSIMP_MODELS_DIR) + "/" + relative;
}

// Files written by tools/make-fixtures at build time.
inline std::string fixture(const std::string& name)
{
  return std::string(ML_FIXTURES_DIR) + "/" + name;
}

inline QString fixtureFile(const std::string& name)
{
  return QString::fromStdString(fixture(name));
}

inline const QString unreadableFile =
    ML_SOURCE_DIR "/tests/importer/corpus/assimp-no-glb-header.glb";
} // namespace ML::Test
