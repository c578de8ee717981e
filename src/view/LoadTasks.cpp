// Loading, closing, resetting and exporting on the render thread. The Manager has
// already checked the paths and written modelNames; these tasks read it when
// they run and report back through the Manager's fields and signals.
#include <QDebug>
#include <QFileInfo>

#include <vtkRenderer.h>
#include <vtkTransform.h>

#include <assimp/Exporter.hpp>
#include <assimp/SceneCombiner.h>
#include <assimp/scene.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AssimpImporter.h"
#include "Manager.h"
#include "RenderTasks.h"

namespace ML
{
namespace
{
constexpr int DefaultUpDirection = 1;    // +Y
constexpr int DefaultRightDirection = 0; // +X

struct ExportFormat
{
  const char* suffix;
  const char* formatId;
};

// Only these spellings select a format; any other suffix fails the export.
const ExportFormat ExportFormats[] = {{"fbx", "fbx"},     {"Fbx", "fbx"},     {"FBX", "fbx"},
                                      {"dae", "collada"}, {"Dae", "collada"}, {"DAE", "collada"},
                                      {"gltf", "gltf2"},  {"glTF", "gltf2"},  {"Gltf", "gltf2"},
                                      {"GLTF", "gltf2"},  {"glb", "glb2"},    {"Glb", "glb2"},
                                      {"GLB", "glb2"}};

const char* exportFormatFor(const QString& fileName)
{
  const QString suffix = QFileInfo(fileName).suffix();
  for (const ExportFormat& format : ExportFormats)
  {
    if (suffix == QLatin1String(format.suffix))
    {
      return format.formatId;
    }
  }
  return nullptr;
}

// Reads one file into a new model and puts its actors into the renderer; null
// when the file cannot be read.
std::unique_ptr<ModelEntry> readModel(const QString& path, vtkRenderer* renderer)
{
  auto entry = std::make_unique<ModelEntry>();
  AssimpImporter* importer = entry->importer;
  importer->FileName = path.toStdString();
  if (!importer->ReadScene(importer->FileName))
  {
    qDebug() << path << " Importer update error";
    return nullptr;
  }
  importer->ImportActors(renderer);
  // A scene without animations has nothing for UpdateTimeStep to evaluate.
  if (importer->Scene->mNumAnimations == 0)
  {
    importer->ActiveAnimation = -1;
  }
  return entry;
}

void takeLightsOnce(VtkItem* item, VtkItem::Data* data, AssimpImporter* importer)
{
  if (!item->lightsFromFile && importer->Scene->mNumLights > 0)
  {
    takeLightsFromFile(item, data, importer);
    item->lightsFromFile = true;
  }
}

void reportLoadEnd(Manager* manager)
{
  manager->notify(&Manager::modelNamesChanged);
  manager->notify(&Manager::openSourceEnd);
}

// The window hides its splash screen on openSourceEnd, so a failed load sends it
// too, after the error.
void reportLoadFailure(Manager* manager)
{
  manager->notify(&Manager::modelNamesChanged);
  manager->notify(&Manager::openSourceError);
  manager->notify(&Manager::openSourceEnd);
}

// Assimp 5.2's binary FBX writer ends the nested node lists without the null
// record that FBX readers, Assimp's own included, require: its files cannot be
// opened again. The exported file is rewritten with those records.
class FbxNullRecords
{
public:
  static bool addMissing(const std::string& path)
  {
    std::string bytes;
    if (!readFile(path, bytes) || bytes.size() < HeaderSize)
    {
      return false;
    }
    uint32_t version = 0;
    std::memcpy(&version, bytes.data() + VersionOffset, sizeof(version));
    FbxNullRecords file(bytes, version >= 7500);
    size_t cursor = HeaderSize;
    std::vector<Node> nodes;
    if (!file.parseList(cursor, bytes.size(), nodes))
    {
      return false;
    }
    std::string repaired = bytes.substr(0, HeaderSize);
    file.emitList(nodes, repaired);
    repaired.append(bytes, cursor, std::string::npos); // footer, top-level null record first
    return writeFile(path, repaired);
  }

private:
  static constexpr size_t HeaderSize = 27;
  static constexpr size_t VersionOffset = 23;

  struct Node
  {
    size_t begin = 0;
    size_t headEnd = 0; // end of the name and the properties
    std::vector<Node> children;
  };

  FbxNullRecords(const std::string& bytes, bool wideOffsets)
      : Bytes(bytes), WordSize(wideOffsets ? 8 : 4)
  {
  }

  // A record starts with its end offset, property count and property bytes, then
  // the name length; a null record is that many zero bytes.
  size_t recordHeaderSize() const { return 3 * this->WordSize + 1; }

  uint64_t word(size_t at) const
  {
    uint64_t value = 0;
    std::memcpy(&value, this->Bytes.data() + at, this->WordSize);
    return value;
  }

  bool parseList(size_t& cursor, size_t end, std::vector<Node>& nodes) const
  {
    while (cursor + recordHeaderSize() <= end)
    {
      const uint64_t nodeEnd = word(cursor);
      if (nodeEnd == 0)
      {
        return true;
      }
      Node node;
      node.begin = cursor;
      const size_t nameSize = static_cast<unsigned char>(this->Bytes[cursor + 3 * this->WordSize]);
      node.headEnd = cursor + recordHeaderSize() + nameSize + word(cursor + 2 * this->WordSize);
      if (nodeEnd > end || node.headEnd > nodeEnd)
      {
        return false;
      }
      size_t child = node.headEnd;
      if (!parseList(child, nodeEnd, node.children))
      {
        return false;
      }
      cursor = nodeEnd;
      nodes.push_back(std::move(node));
    }
    return cursor == end;
  }

  void emitList(const std::vector<Node>& nodes, std::string& out) const
  {
    for (const Node& node : nodes)
    {
      const size_t begin = out.size();
      out.append(this->Bytes, node.begin, node.headEnd - node.begin);
      if (!node.children.empty())
      {
        emitList(node.children, out);
        out.append(recordHeaderSize(), '\0');
      }
      const uint64_t end = out.size();
      std::memcpy(out.data() + begin, &end, this->WordSize);
    }
  }

  static bool readFile(const std::string& path, std::string& bytes)
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
  }

  static bool writeFile(const std::string& path, const std::string& bytes)
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out.good();
  }

  const std::string& Bytes;
  const size_t WordSize;
};

bool treeContainsNode(const aiNode* root, const aiNode* node)
{
  if (root == node)
  {
    return true;
  }
  for (unsigned i = 0; i < root->mNumChildren; ++i)
  {
    if (root->mChildren[i] && treeContainsNode(root->mChildren[i], node))
    {
      return true;
    }
  }
  return false;
}

// Assimp's scene copy cannot copy nested metadata (the glTF importer stores node
// extensions such as KHR_lights_punctual that way) and aborts on it. While the
// copies are made, such metadata is taken off the importer's scene and put back
// afterwards; the exporters do not write it anyway.
class NestedMetadataDetached
{
public:
  explicit NestedMetadataDetached(const std::vector<std::unique_ptr<ModelEntry>>& models)
  {
    for (const auto& entry : models)
    {
      // The importer's scene is const to its readers; it is restored unchanged.
      auto* scene = const_cast<aiScene*>(entry->importer->Scene);
      detach(scene->mMetaData);
      detachFromNodes(scene->mRootNode);
    }
  }
  ~NestedMetadataDetached()
  {
    for (const auto& [slot, metadata] : this->Detached)
    {
      *slot = metadata;
    }
  }
  NestedMetadataDetached(const NestedMetadataDetached&) = delete;
  NestedMetadataDetached& operator=(const NestedMetadataDetached&) = delete;

private:
  static bool hasNestedEntries(const aiMetadata* metadata)
  {
    for (unsigned i = 0; metadata && i < metadata->mNumProperties; ++i)
    {
      if (metadata->mValues[i].mType == AI_AIMETADATA)
      {
        return true;
      }
    }
    return false;
  }

  void detach(aiMetadata*& slot)
  {
    if (hasNestedEntries(slot))
    {
      this->Detached.emplace_back(&slot, slot);
      slot = nullptr;
    }
  }

  void detachFromNodes(aiNode* node)
  {
    if (!node)
    {
      return;
    }
    detach(node->mMetaData);
    for (unsigned i = 0; i < node->mNumChildren; ++i)
    {
      detachFromNodes(node->mChildren[i]);
    }
  }

  std::vector<std::pair<aiMetadata**, aiMetadata*>> Detached;
};

// A copy of the model's scene placed by the model's transform. The merge consumes
// the scenes it is given, and the importer must keep its own: animation,
// selection and later exports still use it.
aiScene* placedCopy(const ModelEntry& entry)
{
  aiScene* copy = nullptr;
  Assimp::SceneCombiner::CopyScene(&copy, entry.importer->Scene);
  aiMatrix4x4 placement;
  AssimpImporter::ToAssimpMatrix(entry.transform->GetMatrix(), placement);
  // The model transform is the parent of the root, as in the view; the root's own
  // transform (e.g. an up-axis conversion) stays part of the model.
  copy->mRootNode->mTransformation = placement * copy->mRootNode->mTransformation;
  return copy;
}

std::unique_ptr<aiScene> mergedScene(const std::vector<std::unique_ptr<ModelEntry>>& models)
{
  const NestedMetadataDetached detached(models);
  std::vector<aiScene*> scenes;
  scenes.reserve(models.size());
  for (const auto& entry : models)
  {
    scenes.push_back(placedCopy(*entry));
  }
  if (scenes.size() == 1)
  {
    return std::unique_ptr<aiScene>(scenes.front());
  }
  aiScene* merged = nullptr;
  Assimp::SceneCombiner::MergeScenes(&merged, scenes, 0);
  return std::unique_ptr<aiScene>(merged);
}
} // namespace

bool sceneContainsNode(const aiScene* scene, const aiNode* node)
{
  return scene && scene->mRootNode && node && treeContainsNode(scene->mRootNode, node);
}

bool loadModels(VtkItem* item, VtkItem::Data* data)
{
  Manager* manager = item->manager;
  // Rows that an earlier open queued for the GUI point into scenes that are gone
  // by now; they must leave before this open's rows arrive.
  manager->clearTreeModel(false);

  const QStringList paths = manager->state.modelNames;
  for (const QString& path : paths)
  {
    std::unique_ptr<ModelEntry> entry = readModel(path, data->renderer);
    if (!entry)
    {
      unloadModels(item, data);
      manager->state.modelNames.clear();
      reportLoadFailure(manager);
      return false;
    }
    takeLightsOnce(item, data, entry->importer);
    item->models.push_back(std::move(entry));
  }

  manager->state.currentModel = 0;
  selectAnimationAfterLoad(item);
  // The combo box must not keep offering the clips of the models this open replaced.
  if (animationCount(item, 0) == 0)
  {
    manager->setNumberOfAnimations(0);
  }
  resetCamera(data);
  applyBackground(item, data);
  manager->fillTreeModel(0);
  reportLoadEnd(manager);
  return true;
}

// Loads the first path of modelNames that has no model yet. That is the last one,
// unless several adds were queued before the first of them ran: then each loads
// its own path instead of all loading the last.
void addLastModel(VtkItem* item, VtkItem::Data* data)
{
  Manager* manager = item->manager;
  QStringList& names = manager->state.modelNames;
  const int index = static_cast<int>(item->models.size());
  if (index >= names.size())
  {
    manager->notify(&Manager::openSourceEnd);
    return;
  }
  std::unique_ptr<ModelEntry> entry = readModel(names.at(index), data->renderer);
  if (!entry)
  {
    // The models already shown stay; only the failed path goes.
    names.removeAt(index);
    reportLoadFailure(manager);
    return;
  }
  item->models.push_back(std::move(entry));
  manager->state.currentModel = index;
  selectAnimationAfterLoad(item);
  resetCamera(data);
  manager->fillTreeModel(index);
  reportLoadEnd(manager);
}

void selectAnimationAfterLoad(VtkItem* item)
{
  Manager* manager = item->manager;
  const int model = manager->state.currentModel;
  const int count = static_cast<int>(animationCount(item, model));
  if (count == 0)
  {
    return;
  }
  int animation = manager->state.currentAnimatoin;
  if (animation < 0 || animation >= count)
  {
    animation = 0;
  }
  manager->state.currentAnimatoin = animation;
  item->models[static_cast<size_t>(model)]->importer->ActiveAnimation = animation;
  manager->setNumberOfAnimations(count);
  manager->setCurrentAnimatoin(animation);
  manager->notify(&Manager::currentAnimatoinChanged);
}

void clearModelsTask(VtkItem* item, VtkItem::Data* data)
{
  Manager* manager = item->manager;
  unloadModels(item, data);
  // An open queued before this clear may have added rows since the GUI cleared.
  manager->clearTreeModel(false);
  manager->state.modelNames.clear();
  manager->notify(&Manager::modelNamesChanged);
  manager->setNumberOfAnimations(0);
  resetSceneSettings(manager, data);
}

void resetSceneSettings(Manager* manager, VtkItem::Data* data)
{
  VtkItem* item = data->item;
  ManagerState& state = manager->state;

  state.upDirection = DefaultUpDirection;
  state.rightDirection = DefaultRightDirection;
  setViewDirection(item, data, axisVector(DefaultUpDirection), axisVector(DefaultRightDirection));
  manager->notify(&Manager::upDirectionChanged);
  manager->notify(&Manager::rightDirectionChanged);

  state.sceneLight = false;
  applySceneLight(item, data);
  manager->notify(&Manager::sceneLightChanged);

  state.surfaceLight = 0;
  applySurfacePreset(item, data);
  manager->notify(&Manager::surfaceLightChanged);

  for (LightSlot& slot : state.lights)
  {
    slot.color = QColor(0, 0, 0, 255);
  }
  manager->notify(&Manager::lightColorChanged);

  resetCamera(data);
  data->renderer->Render();
}

void exportModels(VtkItem* item)
{
  Assimp::Exporter exporter;
  const char* formatId = exportFormatFor(exportFileName);
  if (formatId && !item->models.empty())
  {
    const std::unique_ptr<aiScene> scene = mergedScene(item->models);
    const std::string path = exportFileName.toStdString();
    if (exporter.Export(scene.get(), formatId, path, 0) == AI_SUCCESS &&
        (std::strcmp(formatId, "fbx") != 0 || FbxNullRecords::addMissing(path)))
    {
      return;
    }
  }
  qDebug() << "Export failed: " << exporter.GetErrorString();
  item->manager->notify(&Manager::exportSourceError);
}
} // namespace ML
