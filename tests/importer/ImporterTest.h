#pragma once
// A model read into a renderer of its own (no window needed); matrices are row-major.

#include "AssimpImporter.h"
#include "MessageLog.h"
#include "TestPaths.h"

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkAlgorithm.h>
#include <vtkImageData.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkRenderer.h>
#include <vtkShaderProperty.h>
#include <vtkTexture.h>
#include <vtkTransform.h>
#include <vtkUniforms.h>

#include <assimp/scene.h>

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace ML::Test
{
using Matrix = std::array<double, 16>;

inline Matrix elements(const vtkMatrix4x4* m)
{
  Matrix result;
  result.fill(std::nan("")); // a missing matrix equals nothing
  if (m)
    std::copy(m->GetData(), m->GetData() + 16, result.begin());
  return result;
}
inline const Matrix& elements(const Matrix& m)
{
  return m;
}

// Translation, then rotation (degrees about an axis), then uniform scale.
inline Matrix trs(std::array<double, 3> t, double degrees = 0,
                  std::array<double, 3> axis = {0, 0, 1}, double s = 1)
{
  vtkNew<vtkTransform> x;
  x->Translate(t.data());
  x->RotateWXYZ(degrees, axis.data());
  x->Scale(s, s, s);
  return elements(x->GetMatrix());
}
inline const Matrix Identity = trs({0, 0, 0});

inline Matrix multiply(const Matrix& a, const Matrix& b)
{
  Matrix c;
  vtkMatrix4x4::Multiply4x4(a.data(), b.data(), c.data());
  return c;
}

template <typename M>
::testing::AssertionResult near(const Matrix& expected, const M& actualMatrix, double tol)
{
  const Matrix& actual = elements(actualMatrix);
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
  vtkAlgorithm* producer = texture ? texture->GetInputAlgorithm() : nullptr;
  if (producer)
    producer->Update();
  return producer ? vtkImageData::SafeDownCast(producer->GetOutputDataObject(0)) : nullptr;
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
// them.
inline QByteArray damagePng(QByteArray bytes)
{
  const qsizetype data = bytes.indexOf("IDAT") + 4;
  for (qsizetype i = data; i < data + 8 && i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(bytes[i] ^ 0x5a);
  return bytes;
}

// The buffers and images that the fixtures name, copied into a folder so that model
// files written there find them.
inline void copyFixtureSideFiles(const QString& folder)
{
  const QDir fixtures(QString::fromStdString(fixture("")));
  for (const QString& name : fixtures.entryList({"*.bin", "*.png"}, QDir::Files))
    QFile::copy(fixtures.filePath(name), folder + "/" + name);
}

struct Model
{
  explicit Model(const std::string& path)
  {
    importer->FileName = path;
    if ((read = importer->ReadScene(path)))
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
  vtkActor* actor(const std::string& n, int i = 0) const
  {
    return actors(n) ? vtkActor::SafeDownCast(actors(n)->GetItemAsObject(i)) : nullptr;
  }
  // At a time of the active clip, with an identity model transform.
  void poseAt(double seconds) const { importer->UpdateTimeStep(seconds, vtkNew<vtkTransform>()); }

  vtkNew<AssimpImporter> importer;
  vtkNew<vtkRenderer> renderer;
  bool read = false;
};
} // namespace ML::Test
