#include <QProcess>

#include "ImporterTest.h"
#include "ModelWriter.h"

namespace ML::Test
{
namespace
{
// The models of the files, written together to `target`.
ModelWriter::Result write(const std::vector<std::string>& paths, const QString& target)
{
  std::vector<std::unique_ptr<Model>> read;
  std::vector<ModelWriter::Model> models;
  for (const std::string& path : paths)
  {
    read.push_back(std::make_unique<Model>(path));
    EXPECT_TRUE(read.back()->read) << path;
    models.emplace_back().scene = (*read.back())->Scene;
    models.back().fileName = QString::fromStdString(path);
  }
  return ModelWriter::Write(models, target);
}

TEST(ModelWriter, ImagesTravelFormatsSayWhatTheyDropAndFailuresReplaceNothing)
{
  const std::vector<std::string> sources(
      {fixture("textured_cube.gltf"), fixture("textured_cube.glb"), fixture("arm_two_clips.glb"),
       fixture("four_lights.dae"), assimpModel("glTF2/BoxTextured-glTF/BoxTextured.gltf")});
  // glTF keeps the clips and drops the lights; Collada and FBX, the other way round.
  for (const char* suffix : {"glb", "gltf", "dae", "fbx"})
  {
    SCOPED_TRACE(suffix);
    const bool gltf = suffix[0] == 'g';
    QTemporaryDir dir;
    const QString path = dir.filePath(QString("scene.") + suffix);
    const ModelWriter::Result result = write(sources, path);
    ASSERT_TRUE(result.written) << result.error.toStdString();
    EXPECT_EQ(result.bytes, QFileInfo(path).size());
    EXPECT_EQ(result.notices.filter("clips").size(), gltf ? 0 : 1);
    EXPECT_EQ(result.notices.filter("lights").size(), gltf ? 1 : 0);

    MessageLog log;
    Model exported(path.toStdString());
    ASSERT_TRUE(exported.read);
    EXPECT_FALSE(log.contains("Cannot find texture"));
    // Both cubes and the Assimp test box, in the base colour slot or the diffuse one.
    EXPECT_EQ(materialsShowing(exported, gltf ? "albedoTex" : "diffuseTex"), 3);
    EXPECT_EQ(exported->Scene->mNumAnimations, gltf ? 2u : 0u);
    EXPECT_EQ(exported->Scene->mNumLights, gltf ? 0u : 4u);
    // A file per image beside the formats that refer to files: both cubes show one.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(".png"),
              suffix == std::string("glb") ? QStringList()
                                           : QStringList({"CesiumLogoFlat.png", "checker.png"}));
    EXPECT_EQ(QDir(dir.path()).entryList({".export-*"}, QDir::Dirs | QDir::Hidden).size(), 0);
    // The validator prints its findings to the test's output.
    EXPECT_TRUE(!gltf || QProcess::execute(ML_SOURCE_DIR "/scripts/gltf-validate",
                                           {ML_GLTF_VALIDATOR_DIR, path}) == 0);
  }

  // An image the viewer could not find stays a reference, and the user hears of it.
  QTemporaryDir dir;
  const ModelWriter::Result result =
      write({fixture("textured_external.gltf")}, dir.filePath("lost.glb"));
  ASSERT_TRUE(result.written);
  EXPECT_EQ(result.notices, QStringList{"Image not found, left as a reference: "
                                        "../maps/missing.png (of textured_external.gltf)"});
  EXPECT_EQ(materialsShowing(Model(dir.filePath("lost.glb").toStdString()), "albedoTex"), 1);

  // Failures replace nothing and leave nothing beside: Assimp's glTF writer keeps a morph
  // clip without its morph channels, which its reader then rejects; a good file cannot
  // take the place of a folder.
  ASSERT_TRUE(writeFile(dir.filePath("cube.glb"), "earlier export"));
  ASSERT_TRUE(QDir(dir.path()).mkdir("taken.glb"));
  for (const auto& [source, target] :
       {std::pair{
            assimpModel("glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf"),
            "cube.glb"},
        {fixture("static_nodes.glb"), "taken.glb"}})
    EXPECT_FALSE(write({source}, dir.filePath(target)).written) << target;
  EXPECT_EQ(fileBytes(dir.filePath("cube.glb").toStdString()), "earlier export");
  EXPECT_TRUE(QFileInfo(dir.filePath("taken.glb")).isDir());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList({"cube.glb", "lost.glb", "taken.glb"}));
}

} // namespace
} // namespace ML::Test
