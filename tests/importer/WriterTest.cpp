#include <QProcess>

#include <vtkProperty.h>

#include "FileReport.h"
#include "ImporterTest.h"
#include "ModelWriter.h"

namespace ML::Test
{
namespace
{
// The models of the files, each three units further along X, written to `target`.
ModelWriter::Result write(const std::vector<std::string>& paths, const QString& target)
{
  std::vector<std::unique_ptr<Model>> read;
  std::vector<ModelWriter::Model> models;
  for (const std::string& path : paths)
  {
    read.push_back(std::make_unique<Model>(path));
    EXPECT_TRUE(read.back()->read) << path;
    models.emplace_back().scene = (*read.back())->Scene;
    aiMatrix4x4::Translation({3.f * read.size(), 0, 0}, models.back().placement);
    models.back().fileName = QString::fromStdString(path);
  }
  return ModelWriter::Write(models, target);
}

// Materials that show an image, in the base colour slot or (Collada) the diffuse one.
int texturedMaterials(const Model& model)
{
  int found = 0;
  for (const auto& property : model->Properties)
  {
    vtkImageData* albedo = imageOf(property->GetTexture("albedoTex"));
    vtkImageData* image = albedo ? albedo : imageOf(property->GetTexture("diffuseTex"));
    found += image && image->GetDimensions()[0] >= 4 ? 1 : 0;
  }
  return found;
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
    EXPECT_EQ(texturedMaterials(exported), 3); // both cubes and the Assimp test box
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
  EXPECT_EQ(texturedMaterials(Model(dir.filePath("lost.glb").toStdString())), 1);

  // Assimp's glTF writer keeps a morph clip without its morph channels, which its
  // reader then rejects: the file it would replace stays, and nothing is left beside it.
  const QString path = dir.filePath("cube.glb");
  ASSERT_TRUE(writeFile(path, "earlier export"));
  EXPECT_FALSE(
      write({assimpModel("glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf")},
            path)
          .written);
  EXPECT_EQ(fileBytes(path.toStdString()), "earlier export");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList({"cube.glb", "lost.glb"}));

  // A good file that cannot take the target's place (a folder holds the name) fails too.
  ASSERT_TRUE(QDir(dir.path()).mkdir("taken.glb"));
  EXPECT_FALSE(write({fixture("static_nodes.glb")}, dir.filePath("taken.glb")).written);
  EXPECT_TRUE(QFileInfo(dir.filePath("taken.glb")).isDir());
}

// The report on a file: its counts from the fixtures' known content (the glTF reader
// adds a default material), and what the viewer cannot use, each with its reason. Lines
// ending in a line break are whole lines.
TEST(FileReport, CountsTheFileAndSaysWhatTheViewerCannotUse)
{
  const QString folder = QFileInfo(QString::fromStdString(fixture(""))).absolutePath();
  for (const auto& [path, lines] :
       {std::pair{fixture("arm_two_clips.glb"),
                  QStringList{"Format: glTF 2.0, binary (GLB)\n",
                              "Meshes: 1, vertices: 169, triangles: 288\n", "Materials: 2\n",
                              "Bones: 3\n", "Clips: 2\n",
                              "  Bend: 2.042 s, 3 channels, 21 keys, 1000 ticks a second\n",
                              "Lamps: 0\n", "Warnings: 0\n"}},
        {fixture("four_lights.glb"),
         {"  Lamp_1: spot, colour 0.2 1 0.2\n", "Warnings: 1\n  Lamp Lamp_3 is left out"}},
        {fixture("textured_external.gltf"),
         {"  quadrants_beside.png: found at " + folder + "/quadrants_beside.png\n",
          "  ../maps/missing.png: missing (looked in " + folder + ")\n",
          "Warnings: 1\n  Image ../maps/missing.png not found"}},
        {assimpModel("glTF2/IndexOutOfRange/IndexOutOfRange.gltf"), // the reader's own warnings
         {"  Reader: Some faces had out-of-range indices. Those faces were dropped.\n"}}})
  {
    Model model(path);
    ASSERT_TRUE(model.read) << path;
    const QString report =
        FileReport::Describe(*model->Scene, QString::fromStdString(path), model->ReadWarnings);
    for (const QString& line : lines)
      EXPECT_TRUE(("\n" + report + "\n").contains("\n" + line))
          << line.toStdString() << report.toStdString();
  }
}
} // namespace
} // namespace ML::Test
