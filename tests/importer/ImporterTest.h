#pragma once
// A model read into a renderer of its own (no window needed); matrices are row-major.

#include "AssimpImporter.h"
#include "MessageLog.h"
#include "TestPaths.h"

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkImageData.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkShaderProperty.h>
#include <vtkTexture.h>
#include <vtkTransform.h>
#include <vtkUniforms.h>

#include <assimp/scene.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace ML::Test
{
struct Matrix : std::array<double, 16>
{
  Matrix() = default;
  Matrix(const vtkMatrix4x4* m) // a missing matrix equals nothing
  {
    fill(std::nan(""));
    if (m)
      std::copy(m->GetData(), m->GetData() + 16, begin());
  }
  Matrix operator*(const Matrix& b) const
  {
    Matrix c;
    vtkMatrix4x4::Multiply4x4(data(), b.data(), c.data());
    return c;
  }
};

// Translation, then rotation (degrees about an axis), then uniform scale.
inline Matrix trs(std::array<double, 3> t, double degrees = 0,
                  std::array<double, 3> axis = {0, 0, 1}, double s = 1)
{
  vtkNew<vtkTransform> x;
  x->Translate(t.data());
  x->RotateWXYZ(degrees, axis.data());
  x->Scale(s, s, s);
  return x->GetMatrix();
}
inline const Matrix Identity = trs({0, 0, 0});

inline ::testing::AssertionResult near(const Matrix& expected, const Matrix& actual, double tol)
{
  for (int i = 0; i < 16; ++i)
    if (!(std::abs(expected[i] - actual[i]) <= tol))
      return ::testing::AssertionFailure()
             << "(" << i / 4 << ", " << i % 4 << ") is " << actual[i] << ", not " << expected[i];
  return ::testing::AssertionSuccess();
}

// The "jointMatrices" uniform of an actor, stored column by column.
inline std::vector<Matrix> jointMatrices(vtkActor* actor)
{
  std::vector<float> values;
  actor->GetShaderProperty()->GetVertexCustomUniforms()->GetUniform("jointMatrices", values);
  std::vector<Matrix> matrices(values.size() / 16);
  for (std::size_t i = 0; i < values.size(); ++i)
    matrices[i / 16][i % 4 * 4 + i % 16 / 4] = values[i];
  return matrices;
}

inline vtkImageData* imageOf(vtkTexture* texture)
{
  return texture ? texture->GetInput() : nullptr;
}

inline QByteArray fileBytes(const std::string& path)
{
  QFile file(QString::fromStdString(path));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Eight bytes of the first PNG image data chunk flipped, as a bad disk or copy leaves
// them; bytes without PNG data stay as they are.
inline QByteArray damagePng(QByteArray bytes)
{
  const qsizetype data = bytes.indexOf("IDAT") + 4;
  for (qsizetype i = data; data > 3 && i < data + 8 && i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(bytes[i] ^ 0x5a);
  return bytes;
}

// A folder with the buffers and images that the fixtures name, so that model files
// written there find them.
struct FixtureFolder : QTemporaryDir
{
  FixtureFolder()
  {
    const QDir fixtures(fixtureFile(""));
    for (const QString& name : fixtures.entryList({"*.bin", "*.png"}, QDir::Files))
      QFile::copy(fixtures.filePath(name), filePath(name));
  }
};

// Actors are imported after a failed read too, where they must be none.
struct Model
{
  explicit Model(const std::string& path)
  {
    importer->FileName = path;
    read = importer->ReadScene(path);
    importer->ImportActors(renderer);
  }
  AssimpImporter* operator->() const { return importer; }
  template <typename Table>
  static auto* find(Table& table, const std::string& name)
  {
    return table.count(name) ? table.at(name).Get() : nullptr;
  }
  vtkMatrix4x4* local(const std::string& n) const { return find(importer->NodeLocalMatrices, n); }
  vtkMatrix4x4* global(const std::string& n) const { return find(importer->NodeGlobalMatrices, n); }
  vtkActorCollection* actors(const std::string& n) const { return find(importer->NodeActors, n); }
  vtkActor* actor(const std::string& n) const
  {
    return actors(n) ? vtkActor::SafeDownCast(actors(n)->GetItemAsObject(0)) : nullptr;
  }
  // At a time of the active clip, without a model transform.
  void poseAt(double seconds) const { importer->UpdateTimeStep(seconds, nullptr); }

  vtkNew<AssimpImporter> importer;
  vtkNew<vtkRenderer> renderer;
  bool read = false;
};

// Materials that show an image of more than one texel across in the slot.
inline int materialsShowing(const Model& model, const char* slot)
{
  int found = 0;
  for (const auto& property : model->Properties)
    found += imageOf(property->GetTexture(slot)) &&
             imageOf(property->GetTexture(slot))->GetDimensions()[0] > 1;
  return found;
}
} // namespace ML::Test
