// Exports through the model writer, read again as the viewer reads them: images
// travel with the file, unreadable files never replace anything, and what a format
// drops is said.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <vtkProperty.h>

#include "FileReport.h"
#include "ImporterTest.h"
#include "ModelWriter.h"

namespace ML::Test
{
namespace
{
using Sources = std::vector<std::unique_ptr<Model>>;

// Each source three units further along X.
std::vector<ModelWriter::Model> writerModels(const Sources& sources)
{
  std::vector<ModelWriter::Model> models;
  float offset = 0;
  for (const auto& source : sources)
  {
    ModelWriter::Model model;
    model.scene = (*source)->Scene;
    model.placement = aiMatrix4x4::Translation({offset += 3, 0, 0}, model.placement);
    model.fileName = QString::fromStdString((*source)->FileName);
    models.push_back(model);
  }
  return models;
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

QByteArray contents(const QString& path)
{
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(ModelWriter, ImagesTravelAndEachFormatSaysWhatItDrops)
{
  Sources sources;
  for (const std::string& path :
       {fixture("textured_cube.gltf"), fixture("textured_cube.glb"), fixture("arm_two_clips.glb"),
        fixture("four_lights.dae"), assimpModel("glTF2/BoxTextured-glTF/BoxTextured.gltf")})
  {
    sources.push_back(std::make_unique<Model>(path));
    ASSERT_TRUE(sources.back()->read) << path;
  }
  const auto models = writerModels(sources);
  // Format, whether clips and lights read back.
  for (const auto& [suffix, clips, lights] : {std::tuple{"glb", true, false},
                                              {"gltf", true, false},
                                              {"dae", false, true},
                                              {"fbx", false, true}})
  {
    SCOPED_TRACE(suffix);
    QTemporaryDir dir;
    const QString path = dir.filePath(QString("scene.") + suffix);
    const ModelWriter::Result result = ModelWriter::Write(models, path);
    ASSERT_TRUE(result.written) << result.error.toStdString();
    EXPECT_EQ(result.bytes, QFileInfo(path).size());
    EXPECT_EQ(result.notices.filter("clips").size(), clips ? 0 : 1);
    EXPECT_EQ(result.notices.filter("lights").size(), lights ? 0 : 1);

    MessageLog log;
    Model exported(path.toStdString());
    ASSERT_TRUE(exported.read);
    EXPECT_FALSE(log.contains("Cannot find texture"));
    EXPECT_EQ(texturedMaterials(exported), 3); // both cubes and the Assimp test box
    EXPECT_EQ(exported->Scene->mNumAnimations, clips ? 2u : 0u);
    EXPECT_EQ(exported->Scene->mNumLights, lights ? 4u : 0u);
    // A file per image beside the formats that refer to files: both cubes show one.
    const QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(files.filter(".png"), suffix == std::string("glb")
                                        ? QStringList()
                                        : QStringList({"CesiumLogoFlat.png", "checker.png"}));
    EXPECT_EQ(QDir(dir.path()).entryList({".export-*"}, QDir::Dirs | QDir::Hidden).size(), 0);
    if (suffix == std::string("glb") || suffix == std::string("gltf"))
    {
      QProcess validator;
      validator.start(ML_SOURCE_DIR "/scripts/gltf-validate", {ML_GLTF_VALIDATOR_DIR, path});
      validator.waitForFinished(240000);
      EXPECT_EQ(validator.exitCode(), 0) << validator.readAll().toStdString();
    }
  }

  // An image the viewer could not find stays a reference, and the user hears of it.
  Sources lost;
  lost.push_back(std::make_unique<Model>(fixture("textured_external.gltf")));
  QTemporaryDir dir;
  const ModelWriter::Result result =
      ModelWriter::Write(writerModels(lost), dir.filePath("lost.glb"));
  ASSERT_TRUE(result.written);
  EXPECT_EQ(result.notices, QStringList{"Image not found, left as a reference: "
                                        "../maps/missing.png (of textured_external.gltf)"});
  Model reopened(dir.filePath("lost.glb").toStdString());
  EXPECT_EQ(texturedMaterials(reopened), 1);
}

// Assimp's glTF writer keeps a morph clip without its morph channels, which its
// reader then rejects.
TEST(ModelWriter, AFileThatDoesNotReadBackReplacesNothing)
{
  Sources sources;
  sources.push_back(std::make_unique<Model>(
      assimpModel("glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf")));
  ASSERT_TRUE(sources.back()->read);
  QTemporaryDir dir;
  const QString path = dir.filePath("cube.glb");
  QFile old(path);
  ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("earlier export") > 0);
  old.close();
  const ModelWriter::Result result = ModelWriter::Write(writerModels(sources), path);
  EXPECT_FALSE(result.written);
  EXPECT_TRUE(result.error.startsWith("The written file does not read back: "))
      << result.error.toStdString();
  EXPECT_EQ(contents(path), "earlier export");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{"cube.glb"});

  // A good file that cannot take the target's place (a folder holds the name) fails too.
  Sources good;
  good.push_back(std::make_unique<Model>(fixture("static_nodes.glb")));
  ASSERT_TRUE(QDir(dir.path()).mkdir("taken.glb"));
  EXPECT_FALSE(ModelWriter::Write(writerModels(good), dir.filePath("taken.glb")).written);
  EXPECT_TRUE(QFileInfo(dir.filePath("taken.glb")).isDir());
}

// The report on a file: its counts from the fixtures' known content, and what the
// viewer cannot use, each with its reason.
TEST(FileReport, CountsTheFileAndSaysWhatTheViewerCannotUse)
{
  const auto report = [](const std::string& path)
  {
    Model model(path);
    return model.read ? FileReport::Describe(*model->Scene, QString::fromStdString(path),
                                             model->ReadWarnings)
                      : QString();
  };
  const QString arm = report(fixture("arm_two_clips.glb"));
  for (const char* line :
       {"Format: glTF 2.0, binary (GLB)", "Meshes: 1, vertices: 169, triangles: 288",
        "Materials: 2", "Bones: 3", "Clips: 2", // the glTF reader adds a default material
        "  Bend: 2.042 s, 3 channels, 21 keys, 1000 ticks a second", "Lamps: 0", "Warnings: 0"})
    EXPECT_TRUE(arm.split('\n').contains(line)) << line << "\n" << arm.toStdString();

  const QString lamps = report(fixture("four_lights.glb"));
  EXPECT_TRUE(lamps.contains("  Lamp_1: spot, colour 0.2 1 0.2")) << lamps.toStdString();
  EXPECT_TRUE(lamps.contains("Lamp Lamp_3 is left out")) << lamps.toStdString();

  const QString images = report(fixture("textured_external.gltf"));
  const QString folder = QFileInfo(QString::fromStdString(fixture(""))).absolutePath();
  EXPECT_TRUE(
      images.contains("  quadrants_beside.png: found at " + folder + "/quadrants_beside.png"))
      << images.toStdString();
  EXPECT_TRUE(images.contains("  ../maps/missing.png: missing (looked in " + folder + ")"));
  EXPECT_TRUE(images.contains("Warnings: 1\n  Image ../maps/missing.png not found"));
  // The reader's own warnings come along.
  EXPECT_TRUE(report(assimpModel("glTF2/IndexOutOfRange/IndexOutOfRange.gltf"))
                  .contains("  Reader: Some faces had out-of-range indices. Those faces were "
                            "dropped."));
}
} // namespace
} // namespace ML::Test
