// Materials, embedded and external textures: from materials built here, from the
// fixtures (an embedded 4x4 PNG with one colour per quadrant, the same image beside
// the file, and a material whose image is missing) and from Blender's textured cube.

#include "ImporterTestSupport.h"
#include "MessageLog.h"
#include "TestPaths.h"

#include <vtkAlgorithm.h>
#include <vtkImageData.h>
#include <vtkProperty.h>
#include <vtkTexture.h>

#include <assimp/material.h>
#include <assimp/scene.h>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstring>
#include <memory>

using namespace ML::Test;

namespace
{
vtkImageData* imageOf(vtkTexture* texture)
{
  vtkAlgorithm* producer = texture->GetInputAlgorithm();
  if (producer)
  {
    producer->Update();
  }
  return vtkImageData::SafeDownCast(texture->GetInputDataObject(0, 0));
}

std::array<int, 3> rgbAt(vtkImageData* image, int x, int y)
{
  auto* pixel = static_cast<unsigned char*>(image->GetScalarPointer(x, y, 0));
  return {pixel[0], pixel[1], pixel[2]};
}

void expectConfigured(vtkTexture* texture, bool sRGB)
{
  EXPECT_TRUE(texture->GetMipmap());
  EXPECT_TRUE(texture->GetInterpolate());
  EXPECT_EQ(texture->GetColorMode(), VTK_COLOR_MODE_DIRECT_SCALARS);
  EXPECT_EQ(texture->GetUseSRGBColorSpace(), sRGB);
}

QByteArray pngBytes(int width, int height, QColor colour)
{
  QImage image(width, height, QImage::Format_RGBA8888);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

std::unique_ptr<aiTexture> compressedTexture(const QByteArray& bytes, const char* hint,
                                             const char* name)
{
  auto texture = std::make_unique<aiTexture>();
  texture->mWidth = static_cast<unsigned>(bytes.size());
  texture->mHeight = 0;
  std::strncpy(texture->achFormatHint, hint, HINTMAXTEXTURELEN - 1);
  texture->mFilename = name;
  texture->pcData = new aiTexel[(bytes.size() + 3) / 4];
  std::memcpy(texture->pcData, bytes.constData(), bytes.size());
  return texture;
}

std::unique_ptr<aiTexture> rawTexture(const char* hint)
{
  auto texture = std::make_unique<aiTexture>();
  texture->mWidth = 2;
  texture->mHeight = 1;
  std::strncpy(texture->achFormatHint, hint, HINTMAXTEXTURELEN - 1);
  texture->pcData = new aiTexel[2];
  texture->pcData[0] = aiTexel{10, 20, 30, 40};
  texture->pcData[1] = aiTexel{50, 60, 70, 80};
  return texture;
}

vtkSmartPointer<vtkProperty> convert(const aiMaterial& material)
{
  return vtkSmartPointer<AssimpImporter>::New()->CreateMaterial(&material);
}

TEST(Materials, ShadingModelsChooseInterpolationOrLighting)
{
  const vtkNew<vtkProperty> defaults;
  for (int model = 0; model <= 12; ++model)
  {
    aiMaterial material;
    material.AddProperty(&model, 1, AI_MATKEY_SHADING_MODEL);
    vtkSmartPointer<vtkProperty> property = convert(material);
    int interpolation = defaults->GetInterpolation();
    switch (model)
    {
    case 1:
      interpolation = VTK_FLAT;
      break;
    case 2:
    case 3:
    case 4:
    case 7:
      interpolation = VTK_PHONG;
      break;
    case 6:
    case 8:
    case 10:
      interpolation = VTK_PBR;
      break;
    }
    EXPECT_EQ(property->GetInterpolation(), interpolation) << "model " << model;
    EXPECT_EQ(property->GetLighting(), model != 5 && model != 9) << "model " << model;
  }
}

TEST(Materials, ColoursAndOpacity)
{
  aiMaterial diffuseOnly;
  const aiColor4D red(0.8f, 0.1f, 0.2f, 0.5f);
  diffuseOnly.AddProperty(&red, 1, AI_MATKEY_COLOR_DIFFUSE);
  vtkSmartPointer<vtkProperty> property = convert(diffuseOnly);
  EXPECT_DOUBLE_EQ(property->GetDiffuseColor()[0], 0.8f);
  EXPECT_DOUBLE_EQ(property->GetSpecularColor()[1], 0.1f) << "specular follows diffuse";
  EXPECT_DOUBLE_EQ(property->GetAmbientColor()[2], 0.2f);
  EXPECT_DOUBLE_EQ(property->GetOpacity(), 1) << "diffuse alpha is ignored";

  aiMaterial full;
  const aiColor4D specular(0.3f, 0.3f, 0.3f, 1), ambient(0.05f, 0.06f, 0.07f, 1);
  const float opacity = 0.4f;
  full.AddProperty(&red, 1, AI_MATKEY_COLOR_DIFFUSE);
  full.AddProperty(&specular, 1, AI_MATKEY_COLOR_SPECULAR);
  full.AddProperty(&ambient, 1, AI_MATKEY_COLOR_AMBIENT);
  full.AddProperty(&opacity, 1, AI_MATKEY_OPACITY);
  property = convert(full);
  EXPECT_DOUBLE_EQ(property->GetDiffuseColor()[0], 0.8f);
  EXPECT_DOUBLE_EQ(property->GetSpecularColor()[0], 0.3f);
  EXPECT_DOUBLE_EQ(property->GetAmbientColor()[1], 0.06f);
  EXPECT_DOUBLE_EQ(property->GetOpacity(), 0.4f);
}

TEST(Textures, RawTexelsDecodeOnlyForLowerCaseChannelHints)
{
  auto importer = vtkSmartPointer<AssimpImporter>::New();
  for (const char* hint : {"rgba8888", "argb8888", "bgra5650"})
  {
    vtkSmartPointer<vtkTexture> texture = importer->CreateTexture(rawTexture(hint).get());
    vtkImageData* image = imageOf(texture);
    ASSERT_NE(image, nullptr) << hint;
    EXPECT_EQ(image->GetDimensions()[0], 2);
    EXPECT_EQ(image->GetNumberOfScalarComponents(), 4);
    auto* texels = static_cast<unsigned char*>(image->GetScalarPointer());
    // Copied in stored order: aiTexel is b, g, r, a.
    EXPECT_EQ(texels[0], 10);
    EXPECT_EQ(texels[7], 80);
  }
  for (const char* hint : {"rgb888", "RGBA8888", "rgba888", "rgbax888"})
  {
    vtkSmartPointer<vtkTexture> texture = importer->CreateTexture(rawTexture(hint).get());
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetNumberOfInputConnections(0), 0) << hint;
  }
}

TEST(Textures, CompressedImagesDecodeThroughVtkReaders)
{
  auto importer = vtkSmartPointer<AssimpImporter>::New();
  const QByteArray png = pngBytes(3, 2, Qt::cyan);
  vtkSmartPointer<vtkTexture> texture =
      importer->CreateTexture(compressedTexture(png, "png", "a.png").get());
  vtkImageData* image = imageOf(texture);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetDimensions()[0], 3);
  EXPECT_EQ(image->GetDimensions()[1], 2);
  EXPECT_EQ(rgbAt(image, 2, 1), (std::array<int, 3>{0, 255, 255}));

  vtkSmartPointer<vtkTexture> unknown =
      importer->CreateTexture(compressedTexture(png, "xyz", "a.xyz").get());
  EXPECT_EQ(unknown->GetNumberOfInputConnections(0), 0);
}

// The fixture image: top-left red, top-right green, bottom-left blue, bottom-right
// white. VTK's image origin is the bottom-left corner.
void expectQuadrants(vtkImageData* image)
{
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->GetDimensions()[0], 4);
  EXPECT_EQ(rgbAt(image, 0, 0), (std::array<int, 3>{0, 0, 255}));
  EXPECT_EQ(rgbAt(image, 3, 0), (std::array<int, 3>{255, 255, 255}));
  EXPECT_EQ(rgbAt(image, 0, 3), (std::array<int, 3>{255, 0, 0}));
  EXPECT_EQ(rgbAt(image, 3, 3), (std::array<int, 3>{0, 255, 0}));
}

class EmbeddedTextureTest : public ::testing::TestWithParam<const char*>
{
};

TEST_P(EmbeddedTextureTest, IndexedTextureIsSharedAndConfiguredLastBySlot)
{
  ImportedModel model(fixture(std::string("textured_embedded") + GetParam()));
  ASSERT_TRUE(model.read());
  ASSERT_EQ(model->EmbeddedTextures.size(), 1u);
  vtkProperty* painted = model.firstActor("Box")->GetProperty();
  vtkTexture* diffuse = painted->GetTexture("diffuseTex");
  vtkTexture* albedo = painted->GetTexture("albedoTex");
  EXPECT_EQ(diffuse, model->EmbeddedTextures[0].Get());
  EXPECT_EQ(albedo, diffuse);
  // Diffuse asked for linear colours, base colour for sRGB; the shared object keeps
  // the last setting.
  expectConfigured(diffuse, true);
  expectQuadrants(imageOf(diffuse));
}

INSTANTIATE_TEST_SUITE_P(Formats, EmbeddedTextureTest, ::testing::Values(".glb", ".gltf"));

class ExternalTextureTest : public ::testing::TestWithParam<const char*>
{
};

TEST_P(ExternalTextureTest, ImageBesideTheFileIsReadAndAMissingOneReported)
{
  MessageLog log;
  ImportedModel model(fixture(std::string("textured_external") + GetParam()));
  ASSERT_TRUE(model.read());
  vtkTexture* diffuse = model.firstActor("Box")->GetProperty()->GetTexture("diffuseTex");
  ASSERT_NE(diffuse, nullptr);
  EXPECT_TRUE(model->EmbeddedTextures.empty());
  expectQuadrants(imageOf(diffuse));
  if (vtkTexture* albedo = model.firstActor("Box")->GetProperty()->GetTexture("albedoTex"))
  {
    EXPECT_NE(albedo, diffuse) << "each slot reads its own copy";
    expectConfigured(albedo, true);
  }
  expectConfigured(diffuse, false);

  // "../maps/missing.png" is tried again as "missing.png" beside the file.
  const QString lastCandidate = QDir(QString::fromStdString(fixture(""))).filePath("missing.png");
  EXPECT_TRUE(log.lines().contains("Cannot find texture:  \"" + lastCandidate + "\""))
      << log.lines().join("\n").toStdString();
  EXPECT_FALSE(model.firstActor("LostBox")->GetProperty()->GetTexture("diffuseTex"));
}

INSTANTIATE_TEST_SUITE_P(Formats, ExternalTextureTest,
                         ::testing::Values(".glb", ".gltf", ".fbx", ".dae"));

// A scene made here, so that texture lookups can be tried against chosen names.
class TextureLookupTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(this->Folder.isValid());
    this->Scene.mNumTextures = 1;
    this->Scene.mTextures = new aiTexture*[1];
    this->Scene.mTextures[0] =
        compressedTexture(pngBytes(2, 2, Qt::yellow), "png", "C:/work/skin.png").release();
    this->Importer->Scene = &this->Scene;
    this->Importer->FileName = this->Folder.filePath("model.glb").toStdString();
    this->Importer->EmbeddedTextures = {this->Importer->CreateTexture(this->Scene.mTextures[0])};
  }
  void TearDown() override { this->Importer->Scene = nullptr; }

  QTemporaryDir Folder;
  aiScene Scene;
  vtkSmartPointer<AssimpImporter> Importer = vtkSmartPointer<AssimpImporter>::New();
};

TEST_F(TextureLookupTest, EmbeddedImagesAreFoundByIndexOrBaseName)
{
  EXPECT_EQ(this->Importer->GetTexture("*0", false), this->Importer->EmbeddedTextures[0]);

  vtkSmartPointer<vtkTexture> byName = this->Importer->GetTexture("textures\\skin.png", true);
  ASSERT_NE(byName, nullptr);
  EXPECT_NE(byName, this->Importer->EmbeddedTextures[0]) << "a new texture";
  expectConfigured(byName, true);
  EXPECT_EQ(rgbAt(imageOf(byName), 1, 1), (std::array<int, 3>{255, 255, 0}));
  EXPECT_NE(this->Importer->GetTexture("/elsewhere/skin.png", false), nullptr);

  MessageLog log;
  EXPECT_EQ(this->Importer->GetTexture("Skin.png", false), nullptr) << "names are case-sensitive";
  EXPECT_EQ(this->Importer->GetTexture("*1", false), nullptr);
  EXPECT_EQ(log.count("Cannot find texture: "), 2);
}

TEST_F(TextureLookupTest, FilesBesideTheModelNeedAnImageReader)
{
  QFile notes(this->Folder.filePath("notes.txt"));
  ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
  notes.write("not an image");
  notes.close();
  QImage(1, 1, QImage::Format_RGB32).save(this->Folder.filePath("dark.png"));

  MessageLog log;
  EXPECT_EQ(this->Importer->GetTexture("notes.txt", false), nullptr);
  EXPECT_TRUE(log.lines().contains("Cannot instantiate the image reader for texture:  \"" +
                                   this->Folder.filePath("notes.txt") + "\""))
      << log.lines().join("\n").toStdString();

  vtkSmartPointer<vtkTexture> dark = this->Importer->GetTexture("maps/../dark.png", false);
  ASSERT_NE(dark, nullptr);
  EXPECT_EQ(imageOf(dark)->GetDimensions()[0], 1);
}

TEST(Textures, BlenderCubeFindsItsImageBesideOrEmbedded)
{
  for (const char* name : {"textured_cube.gltf", "textured_cube.glb"})
  {
    ImportedModel model(sharedModel(name));
    ASSERT_TRUE(model.read()) << name;
    ASSERT_EQ(model->Properties.size(), model->Scene->mNumMaterials);
    vtkTexture* albedo = nullptr;
    for (const auto& property : model->Properties)
    {
      albedo = albedo ? albedo : property->GetTexture("albedoTex");
    }
    ASSERT_NE(albedo, nullptr) << name;
    vtkImageData* image = imageOf(albedo);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetDimensions()[0], 64) << name;
    EXPECT_EQ(image->GetDimensions()[1], 64) << name;
  }
}
} // namespace
