#include "FileReport.h"

#include "ModelFiles.h"

#include <QFileInfo>
#include <QStringList>

#include <set>
#include <string>

namespace FileReport
{
namespace
{
// The three lights of the view take a file's first three lamps.
constexpr unsigned LampsTaken = 3;

QString formatOf(const QString& fileName)
{
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  if (suffix == "glb")
    return "glTF 2.0, binary (GLB)";
  if (suffix == "gltf")
    return "glTF 2.0";
  if (suffix == "fbx")
    return "FBX";
  if (suffix == "dae")
    return "Collada (DAE)";
  return suffix.isEmpty() ? QStringLiteral("unknown") : suffix.toUpper();
}

void collectNodeNames(const aiNode* node, std::set<std::string>& names)
{
  names.insert(node->mName.C_Str());
  for (unsigned i = 0; i < node->mNumChildren; ++i)
    collectNodeNames(node->mChildren[i], names);
}

QString imageLine(const aiScene& scene, const QString& fileName, const char* path,
                  QStringList& problems)
{
  if (ModelFiles::FindEmbeddedTexture(&scene, path))
    return QString("  %1: embedded").arg(path);
  const std::string found = ModelFiles::FindTextureFile(fileName.toStdString(), path);
  if (!found.empty())
    return QString("  %1: found at %2").arg(path, QString::fromStdString(found));
  const QString folder = QFileInfo(fileName).absolutePath();
  problems.append(
      QString("Image %1 not found (looked for it and for its file name in %2)").arg(path, folder));
  return QString("  %1: missing (looked in %2)").arg(path, folder);
}

QStringList imageLines(const aiScene& scene, const QString& fileName, QStringList& problems)
{
  QStringList lines;
  std::set<std::string> seen;
  ModelFiles::ForEachImage(scene,
                           [&](aiMaterial*, aiTextureType, unsigned, const char* path)
                           {
                             if (seen.insert(path).second)
                               lines.append(imageLine(scene, fileName, path, problems));
                           });
  return lines;
}

QStringList boneLines(const aiScene& scene, const std::set<std::string>& nodes,
                      QStringList& problems)
{
  std::set<std::string> bones;
  for (unsigned m = 0; m < scene.mNumMeshes; ++m)
    for (unsigned b = 0; b < scene.mMeshes[m]->mNumBones; ++b)
      bones.insert(scene.mMeshes[m]->mBones[b]->mName.C_Str());
  for (const std::string& bone : bones)
    if (!nodes.count(bone))
      problems.append(QString("Bone %1 names no node: its vertices do not follow the skeleton")
                          .arg(QString::fromStdString(bone)));
  return {QString("Bones: %1").arg(bones.size())};
}

QStringList clipLines(const aiScene& scene, const std::set<std::string>& nodes,
                      QStringList& problems)
{
  QStringList lines{QString("Clips: %1").arg(scene.mNumAnimations)};
  for (unsigned a = 0; a < scene.mNumAnimations; ++a)
  {
    const aiAnimation& clip = *scene.mAnimations[a];
    const double rate = clip.mTicksPerSecond > 0 ? clip.mTicksPerSecond : 1.0;
    unsigned keys = 0;
    for (unsigned c = 0; c < clip.mNumChannels; ++c)
    {
      const aiNodeAnim& channel = *clip.mChannels[c];
      keys += channel.mNumPositionKeys + channel.mNumRotationKeys + channel.mNumScalingKeys;
      if (!nodes.count(channel.mNodeName.C_Str()))
        problems.append(QString("Clip %1 moves %2, which is no node")
                            .arg(clip.mName.C_Str(), channel.mNodeName.C_Str()));
    }
    lines.append(QString("  %1: %2 s, %3 channels, %4 keys, %5 ticks a second")
                     .arg(clip.mName.length ? clip.mName.C_Str() : "(unnamed)")
                     .arg(clip.mDuration / rate, 0, 'f', 3)
                     .arg(clip.mNumChannels)
                     .arg(keys)
                     .arg(clip.mTicksPerSecond));
  }
  return lines;
}

QStringList lampLines(const aiScene& scene, const std::set<std::string>& nodes,
                      QStringList& problems)
{
  const char* kinds[] = {"undefined", "directional", "point", "spot", "ambient", "area"};
  QStringList lines{QString("Lamps: %1").arg(scene.mNumLights)};
  for (unsigned l = 0; l < scene.mNumLights; ++l)
  {
    const aiLight& lamp = *scene.mLights[l];
    const unsigned kind = lamp.mType < 6 ? lamp.mType : 0;
    lines.append(QString("  %1: %2, colour %3 %4 %5")
                     .arg(lamp.mName.C_Str(), kinds[kind])
                     .arg(lamp.mColorDiffuse.r)
                     .arg(lamp.mColorDiffuse.g)
                     .arg(lamp.mColorDiffuse.b));
    if (!nodes.count(lamp.mName.C_Str()))
      problems.append(QString("Lamp %1 names no node: it stands at the model's origin")
                          .arg(lamp.mName.C_Str()));
    if (l >= LampsTaken)
      problems.append(QString("Lamp %1 is left out: the view lights the scene with the first "
                              "three lamps of the first file that has any")
                          .arg(lamp.mName.C_Str()));
  }
  return lines;
}
} // namespace

QString Describe(const aiScene& scene, const QString& fileName,
                 const std::vector<std::string>& readWarnings)
{
  unsigned vertices = 0, triangles = 0, morphTargets = 0;
  for (unsigned m = 0; m < scene.mNumMeshes; ++m)
  {
    vertices += scene.mMeshes[m]->mNumVertices;
    morphTargets += scene.mMeshes[m]->mNumAnimMeshes;
    for (unsigned f = 0; f < scene.mMeshes[m]->mNumFaces; ++f)
      triangles += scene.mMeshes[m]->mFaces[f].mNumIndices >= 3
                       ? scene.mMeshes[m]->mFaces[f].mNumIndices - 2
                       : 0;
  }
  std::set<std::string> nodes;
  if (scene.mRootNode)
    collectNodeNames(scene.mRootNode, nodes);

  QStringList problems;
  for (const std::string& warning : readWarnings)
  {
    problems.append("Reader: " + QString::fromStdString(warning));
  }
  QStringList lines{fileName, QString("Format: %1").arg(formatOf(fileName)),
                    QString("Meshes: %1, vertices: %2, triangles: %3")
                        .arg(scene.mNumMeshes)
                        .arg(vertices)
                        .arg(triangles),
                    QString("Materials: %1").arg(scene.mNumMaterials)};
  const QStringList images = imageLines(scene, fileName, problems);
  lines.append(QString("Images: %1").arg(images.size()));
  lines += images;
  lines += boneLines(scene, nodes, problems);
  lines.append(QString("Morph targets: %1").arg(morphTargets));
  lines += clipLines(scene, nodes, problems);
  lines += lampLines(scene, nodes, problems);
  lines.append(QString("Cameras: %1 (the view keeps its own camera)").arg(scene.mNumCameras));
  lines.append(QString("Warnings: %1").arg(problems.size()));
  for (const QString& problem : problems)
    lines.append("  " + problem);
  return lines.join('\n');
}
} // namespace FileReport
