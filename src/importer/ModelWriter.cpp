#include "ModelWriter.h"

#include "ModelFiles.h"
#include "TextureImage.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/SceneCombiner.h>
#include <assimp/scene.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

namespace ModelWriter
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
  explicit NestedMetadataDetached(const std::vector<Model>& models)
  {
    for (const Model& model : models)
    {
      // The reader's scene is const to its users; it is restored unchanged.
      auto* scene = const_cast<aiScene*>(model.scene);
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

// The images the materials of the written models show. Each material's reference
// is first replaced by a token naming an entry here; once the models are merged the
// tokens become what the format needs: embedded images ("*N") in a GLB, files
// beside the other formats.
class ImagePack
{
public:
  void collect(aiScene* copy, const Model& model, QStringList& notices)
  {
    replaceImagePaths(copy,
                      [&](const char* path) -> std::string
                      {
                        const int entry = this->entryFor(path, model);
                        if (entry >= 0)
                        {
                          return Token + std::to_string(entry);
                        }
                        const QString notice =
                            QString("Image not found, left as a reference: %1 (of %2)")
                                .arg(path, QFileInfo(model.fileName).fileName());
                        if (!notices.contains(notice))
                        {
                          notices.append(notice);
                        }
                        return {};
                      });
    // The merge must not carry the copies' own embedded images: the pack holds them.
    clearTextures(copy);
  }

  void embed(aiScene* merged) const
  {
    clearTextures(merged);
    merged->mNumTextures = static_cast<unsigned>(this->Images.size());
    merged->mTextures = this->Images.empty() ? nullptr : new aiTexture*[this->Images.size()];
    for (std::size_t i = 0; i < this->Images.size(); ++i)
    {
      merged->mTextures[i] = compressedTexture(this->Images[i]);
    }
    this->resolveTokens(merged, [](std::size_t entry) { return "*" + std::to_string(entry); });
  }

  bool writeBeside(aiScene* merged, const QDir& staging, const QDir& target, QString& error)
  {
    clearTextures(merged);
    std::vector<std::string> names;
    for (Image& image : this->Images)
    {
      const QString name = this->unclaimedName(image, target);
      QFile file(staging.filePath(name));
      if (!file.open(QIODevice::WriteOnly) || file.write(image.bytes) != image.bytes.size())
      {
        error = "Cannot write the image " + name + ": " + file.errorString();
        return false;
      }
      names.push_back(name.toStdString());
    }
    this->resolveTokens(merged, [&](std::size_t entry) { return names[entry]; });
    return true;
  }

private:
  struct Image
  {
    QByteArray bytes;
    QString name;
  };
  static constexpr const char* Token = "marionette-lab-image:";

  static void clearTextures(aiScene* scene)
  {
    for (unsigned i = 0; i < scene->mNumTextures; ++i)
    {
      delete scene->mTextures[i];
    }
    delete[] scene->mTextures;
    scene->mTextures = nullptr;
    scene->mNumTextures = 0;
  }

  static aiTexture* compressedTexture(const Image& image)
  {
    auto* texture = new aiTexture;
    texture->mWidth = static_cast<unsigned>(image.bytes.size());
    texture->mHeight = 0;
    const QByteArray hint =
        QFileInfo(image.name).suffix().toLower().left(HINTMAXTEXTURELEN - 1).toLatin1();
    std::strncpy(texture->achFormatHint, hint.constData(), HINTMAXTEXTURELEN - 1);
    texture->mFilename = image.name.toStdString();
    texture->pcData = new aiTexel[(image.bytes.size() + sizeof(aiTexel) - 1) / sizeof(aiTexel)];
    std::memcpy(texture->pcData, image.bytes.constData(),
                static_cast<std::size_t>(image.bytes.size()));
    return texture;
  }

  // An embedded image as the bytes of an image file: compressed ones as they are,
  // raw texels (BGRA) as PNG.
  static Image imageOf(const aiTexture& texture)
  {
    const QString stem = QFileInfo(QString::fromUtf8(texture.mFilename.C_Str())).completeBaseName();
    const QString name = stem.isEmpty() ? QStringLiteral("image") : stem;
    if (texture.mHeight == 0)
    {
      return {QByteArray(reinterpret_cast<const char*>(texture.pcData),
                         static_cast<int>(texture.mWidth)),
              name + '.' + QString::fromLatin1(texture.achFormatHint)};
    }
    return {TextureImage::EncodePng(reinterpret_cast<const unsigned char*>(texture.pcData),
                                    static_cast<int>(texture.mWidth),
                                    static_cast<int>(texture.mHeight)),
            name + ".png"};
  }

  // The entry of the image a material path names, as the viewer found it; −1 when
  // it found none.
  int entryFor(const char* path, const Model& model)
  {
    Image image;
    if (const aiTexture* embedded = ModelFiles::FindEmbeddedTexture(model.scene, path))
    {
      image = imageOf(*embedded);
    }
    else
    {
      const std::string file = ModelFiles::FindTextureFile(model.fileName.toStdString(), path);
      QFile source(QString::fromStdString(file));
      if (file.empty() || !source.open(QIODevice::ReadOnly))
      {
        return -1;
      }
      image = {source.readAll(), QFileInfo(source).fileName()};
    }
    for (std::size_t i = 0; i < this->Images.size(); ++i)
    {
      if (this->Images[i].bytes == image.bytes)
      {
        return static_cast<int>(i);
      }
    }
    image.name =
        firstFreeName(image.name, [this](const QString& name) { return this->nameTaken(name); });
    this->Images.push_back(std::move(image));
    return static_cast<int>(this->Images.size() - 1);
  }

  bool nameTaken(const QString& name) const
  {
    for (const Image& image : this->Images)
    {
      if (image.name.compare(name, Qt::CaseInsensitive) == 0)
      {
        return true;
      }
    }
    return false;
  }

  // "checker.png", else "checker_2.png", "checker_3.png"… while `taken` says so.
  template <typename Taken>
  static QString firstFreeName(const QString& name, const Taken& taken)
  {
    const QFileInfo info(name);
    QString candidate = name;
    for (int n = 2; taken(candidate); ++n)
    {
      candidate = QString("%1_%2.%3").arg(info.completeBaseName()).arg(n).arg(info.suffix());
    }
    return candidate;
  }

  // The image's name, unless the target folder holds another file of that name.
  QString unclaimedName(Image& image, const QDir& target)
  {
    const auto differs = [&](const QString& name)
    {
      QFile existing(target.filePath(name));
      return existing.exists() &&
             (!existing.open(QIODevice::ReadOnly) || existing.readAll() != image.bytes);
    };
    image.name = firstFreeName(image.name, differs);
    return image.name;
  }

  template <typename Reference>
  void resolveTokens(aiScene* scene, const Reference& reference) const
  {
    const std::size_t tokenLength = std::strlen(Token);
    replaceImagePaths(scene,
                      [&](const char* path) -> std::string
                      {
                        return std::strncmp(path, Token, tokenLength) == 0
                                   ? reference(std::stoul(path + tokenLength))
                                   : std::string();
                      });
  }

  // Calls `replace` with the path of every image of every material; a path it
  // returns, unless empty, takes the old one's place.
  template <typename Replace>
  static void replaceImagePaths(aiScene* scene, const Replace& replace)
  {
    ModelFiles::ForEachImage(
        *scene,
        [&](aiMaterial* material, aiTextureType type, unsigned index, const char* path)
        {
          const std::string replaced = replace(path);
          if (!replaced.empty())
          {
            const aiString next(replaced);
            material->AddProperty(&next, AI_MATKEY_TEXTURE(type, index));
          }
        });
  }

  std::vector<Image> Images;
};

// A copy of the model's scene placed by the model's transform. The merge consumes
// the scenes it is given, and the reader must keep its own: animation, selection
// and later exports still use it.
aiScene* placedCopy(const Model& model)
{
  aiScene* copy = nullptr;
  Assimp::SceneCombiner::CopyScene(&copy, model.scene);
  // The placement is the parent of the root, as in the view; the root's own
  // transform (e.g. an up-axis conversion) stays part of the model.
  copy->mRootNode->mTransformation = model.placement * copy->mRootNode->mTransformation;
  return copy;
}

std::unique_ptr<aiScene> mergedScene(const std::vector<Model>& models, ImagePack& images,
                                     QStringList& notices)
{
  const NestedMetadataDetached detached(models);
  std::vector<aiScene*> scenes;
  scenes.reserve(models.size());
  UniqueNames names;
  for (const Model& model : models)
  {
    scenes.push_back(placedCopy(model));
    names.claim(scenes.back(), static_cast<int>(scenes.size()));
    images.collect(scenes.back(), model, notices);
  }
  if (scenes.size() == 1)
  {
    return std::unique_ptr<aiScene>(scenes.front());
  }
  aiScene* merged = nullptr;
  Assimp::SceneCombiner::MergeScenes(&merged, scenes, 0);
  return std::unique_ptr<aiScene>(merged);
}

// What a scene holds that some formats cannot keep.
struct Contents
{
  unsigned clips = 0;
  unsigned lights = 0;
  unsigned morphTargets = 0;
};

Contents contentsOf(const aiScene& scene)
{
  Contents contents{scene.mNumAnimations, scene.mNumLights, 0};
  for (unsigned m = 0; m < scene.mNumMeshes; ++m)
  {
    contents.morphTargets += scene.mMeshes[m]->mNumAnimMeshes;
  }
  return contents;
}

// What the scene shown has and the file read back lacks, and the format that keeps
// it, one line each.
QStringList losses(const Contents& shown, const Contents& kept)
{
  QStringList lines;
  const auto compare = [&](unsigned had, unsigned has, const QString& what, const char* keeper)
  {
    if (has < had)
    {
      lines.append(QString("The file keeps %1 of the scene's %2 %3; %4 keeps them.")
                       .arg(has)
                       .arg(had)
                       .arg(what, keeper));
    }
  };
  compare(shown.clips, kept.clips, "animation clips", "GLB");
  compare(shown.lights, kept.lights, "lights", "FBX");
  compare(shown.morphTargets, kept.morphTargets, "morph targets", "GLB");
  return lines;
}

// Assimp 5.2's Collada writer refers to animation sources it never writes, so its
// animated files do not read back: Collada files are written without clips.
void dropAnimations(aiScene& scene)
{
  for (unsigned a = 0; a < scene.mNumAnimations; ++a)
  {
    delete scene.mAnimations[a];
  }
  delete[] scene.mAnimations;
  scene.mAnimations = nullptr;
  scene.mNumAnimations = 0;
}

// Moves every file of `from` into `to`, replacing files of the same name; `last`
// goes last, so that a failure leaves the file it would replace as it was.
bool moveFiles(const QDir& from, const QDir& to, const QString& last, QString& error)
{
  QStringList names = from.entryList(QDir::Files | QDir::Hidden);
  names.removeAll(last);
  names.append(last);
  for (const QString& name : names)
  {
    std::error_code failure;
    std::filesystem::rename(from.filePath(name).toStdString(), to.filePath(name).toStdString(),
                            failure);
    if (failure)
    {
      error = QString("Cannot move %1 into %2: %3")
                  .arg(name, to.path(), QString::fromStdString(failure.message()));
      return false;
    }
  }
  return true;
}

Result failed(const QString& error)
{
  Result result;
  result.error = error;
  return result;
}
} // namespace

const char* FormatFor(const QString& fileName)
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

Result Write(const std::vector<Model>& models, const QString& fileName)
{
  const char* formatId = FormatFor(fileName);
  if (!formatId)
  {
    return failed("The file name must end in .glb, .gltf, .dae or .fbx.");
  }
  const QFileInfo target(fileName);
  QTemporaryDir staging(target.dir().filePath(".export-XXXXXX"));
  if (!staging.isValid())
  {
    return failed("Cannot write in " + target.dir().path() + ": " + staging.errorString());
  }
  if (models.empty())
  {
    return failed("There is no model to export.");
  }
  const QString staged = QDir(staging.path()).filePath(target.fileName());

  Result result;
  ImagePack images;
  const std::unique_ptr<aiScene> scene = mergedScene(models, images, result.notices);
  const Contents shown = contentsOf(*scene);
  if (std::strcmp(formatId, "collada") == 0)
  {
    dropAnimations(*scene);
  }
  QString error;
  if (std::strcmp(formatId, "glb2") == 0)
  {
    images.embed(scene.get());
  }
  else if (!images.writeBeside(scene.get(), QDir(staging.path()), target.dir(), error))
  {
    return failed(error);
  }
  Assimp::Exporter exporter;
  const std::string stagedPath = staged.toStdString();
  if (exporter.Export(scene.get(), formatId, stagedPath, 0) != AI_SUCCESS)
  {
    const QString reason = QString::fromUtf8(exporter.GetErrorString());
    return failed("Assimp's writer failed: " +
                  (reason.isEmpty() ? QStringLiteral("it gave no reason") : reason));
  }
  if (std::strcmp(formatId, "fbx") == 0 && !FbxNullRecords::addMissing(stagedPath))
  {
    return failed("The written FBX file could not be completed.");
  }

  Assimp::Importer reader;
  const aiScene* readBack = ModelFiles::ReadModel(reader, stagedPath);
  if (!readBack)
  {
    return failed(QString("The written file does not read back: ") + reader.GetErrorString());
  }
  result.notices = losses(shown, contentsOf(*readBack)) + result.notices;
  if (!moveFiles(QDir(staging.path()), target.dir(), target.fileName(), error))
  {
    return failed(error);
  }
  result.written = true;
  result.bytes = QFileInfo(fileName).size();
  return result;
}
} // namespace ModelWriter
