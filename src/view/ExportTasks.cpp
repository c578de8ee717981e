// Exporting every loaded model merged into one file, on the render thread.
#include <QDebug>
#include <QFileInfo>

#include <vtkTransform.h>

#include <assimp/Exporter.hpp>
#include <assimp/SceneCombiner.h>
#include <assimp/scene.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
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

template <typename Visit>
void forEachNode(aiNode* node, const Visit& visit)
{
  if (!node)
  {
    return;
  }
  visit(node);
  for (unsigned i = 0; i < node->mNumChildren; ++i)
  {
    forEachNode(node->mChildren[i], visit);
  }
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
      forEachNode(scene->mRootNode, [this](aiNode* node) { detach(node->mMetaData); });
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

// Merged models keep their names, except where an earlier model already uses
// one: the exporters bind bones, lights and cameras to their nodes by name, and
// the glTF writer refuses two clips of one name. A model added twice is the
// common case. Such a name gets the model's number as suffix ("Arm.2"), and
// everything in that model that refers to it follows.
class UniqueNames
{
public:
  void claim(aiScene* scene, int modelNumber)
  {
    this->renameNodes(scene, modelNumber);
    this->renameAnimations(scene, modelNumber);
  }

private:
  using Renames = std::map<std::string, std::string>;

  static std::string unusedName(const std::string& name, int modelNumber,
                                const std::set<std::string>& used)
  {
    std::string candidate = name + '.' + std::to_string(modelNumber);
    while (used.count(candidate) != 0)
    {
      candidate += '_';
    }
    return candidate;
  }

  static void rename(aiString& name, const Renames& renames)
  {
    const auto found = renames.find(name.C_Str());
    if (found != renames.end())
    {
      name.Set(found->second);
    }
  }

  static void applyNodeRenames(aiScene* scene, const Renames& renames)
  {
    forEachNode(scene->mRootNode, [&](aiNode* node) { rename(node->mName, renames); });
    for (unsigned m = 0; m < scene->mNumMeshes; ++m)
    {
      for (unsigned b = 0; b < scene->mMeshes[m]->mNumBones; ++b)
      {
        rename(scene->mMeshes[m]->mBones[b]->mName, renames);
      }
    }
    for (unsigned l = 0; l < scene->mNumLights; ++l)
    {
      rename(scene->mLights[l]->mName, renames);
    }
    for (unsigned c = 0; c < scene->mNumCameras; ++c)
    {
      rename(scene->mCameras[c]->mName, renames);
    }
    for (unsigned a = 0; a < scene->mNumAnimations; ++a)
    {
      const aiAnimation* animation = scene->mAnimations[a];
      for (unsigned c = 0; c < animation->mNumChannels; ++c)
      {
        rename(animation->mChannels[c]->mNodeName, renames);
      }
    }
  }

  void renameNodes(aiScene* scene, int modelNumber)
  {
    std::set<std::string> own;
    forEachNode(scene->mRootNode, [&](const aiNode* node) { own.insert(node->mName.C_Str()); });
    std::set<std::string> used = own;
    used.insert(this->NodeNames.begin(), this->NodeNames.end());
    Renames renames;
    for (const std::string& name : own)
    {
      if (!name.empty() && this->NodeNames.count(name) != 0)
      {
        const std::string unused = unusedName(name, modelNumber, used);
        used.insert(unused);
        renames.emplace(name, unused);
      }
    }
    applyNodeRenames(scene, renames);
    // Every name this model now holds, plus the earlier models' ones.
    this->NodeNames = std::move(used);
  }

  // An unnamed clip counts as a name too: the glTF writer names it "anim".
  void renameAnimations(aiScene* scene, int modelNumber)
  {
    for (unsigned a = 0; a < scene->mNumAnimations; ++a)
    {
      aiString& name = scene->mAnimations[a]->mName;
      if (this->AnimationNames.count(name.C_Str()) != 0)
      {
        const std::string base = name.length > 0 ? name.C_Str() : "Animation";
        name.Set(unusedName(base, modelNumber, this->AnimationNames));
      }
      this->AnimationNames.insert(name.C_Str());
    }
  }

  std::set<std::string> NodeNames;
  std::set<std::string> AnimationNames;
};

std::unique_ptr<aiScene> mergedScene(const std::vector<std::unique_ptr<ModelEntry>>& models)
{
  const NestedMetadataDetached detached(models);
  std::vector<aiScene*> scenes;
  scenes.reserve(models.size());
  UniqueNames names;
  for (const auto& entry : models)
  {
    scenes.push_back(placedCopy(*entry));
    names.claim(scenes.back(), static_cast<int>(scenes.size()));
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
