#include "ImporterTestSupport.h"

#include <vtkShaderProperty.h>
#include <vtkTransform.h>
#include <vtkUniforms.h>

#include <cmath>
#include <sstream>

namespace ML::Test
{
ImportedModel::ImportedModel(const std::string& path)
    : Importer(vtkSmartPointer<AssimpImporter>::New())
{
  this->Importer->FileName = path;
  this->Read = this->Importer->ReadScene(path);
  if (this->Read)
  {
    this->Importer->ImportActors(this->Renderer);
  }
}

vtkMatrix4x4* ImportedModel::local(const std::string& node) const
{
  const auto it = this->Importer->NodeLocalMatrices.find(node);
  return it == this->Importer->NodeLocalMatrices.end() ? nullptr : it->second.Get();
}

vtkMatrix4x4* ImportedModel::global(const std::string& node) const
{
  const auto it = this->Importer->NodeGlobalMatrices.find(node);
  return it == this->Importer->NodeGlobalMatrices.end() ? nullptr : it->second.Get();
}

vtkActorCollection* ImportedModel::actors(const std::string& node) const
{
  const auto it = this->Importer->NodeActors.find(node);
  return it == this->Importer->NodeActors.end() ? nullptr : it->second.Get();
}

vtkActor* ImportedModel::firstActor(const std::string& node) const
{
  vtkActorCollection* collection = this->actors(node);
  return collection && collection->GetNumberOfItems() > 0
             ? vtkActor::SafeDownCast(collection->GetItemAsObject(0))
             : nullptr;
}

int ImportedModel::actorCount() const
{
  return this->Renderer->GetActors()->GetNumberOfItems();
}

void ImportedModel::poseAt(double seconds) const
{
  vtkNew<vtkTransform> model;
  this->Importer->UpdateTimeStep(seconds, model);
}

Matrix identity()
{
  return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

Matrix elementsOf(const vtkMatrix4x4* m)
{
  Matrix result;
  for (int i = 0; i < 16; ++i)
  {
    result[i] = m->GetElement(i / 4, i % 4);
  }
  return result;
}

Matrix multiply(const Matrix& a, const Matrix& b)
{
  Matrix c{};
  for (int i = 0; i < 4; ++i)
  {
    for (int j = 0; j < 4; ++j)
    {
      for (int k = 0; k < 4; ++k)
      {
        c[4 * i + j] += a[4 * i + k] * b[4 * k + j];
      }
    }
  }
  return c;
}

Matrix inverse(const Matrix& m)
{
  vtkNew<vtkMatrix4x4> matrix;
  matrix->DeepCopy(m.data());
  matrix->Invert();
  return elementsOf(matrix);
}

Matrix translate(double x, double y, double z)
{
  return {1, 0, 0, x, 0, 1, 0, y, 0, 0, 1, z, 0, 0, 0, 1};
}

// Rodrigues' formula: R = cI + s[k]x + (1 - c)kk^T.
Matrix rotate(double degrees, double x, double y, double z)
{
  const double a = degrees * 3.14159265358979323846 / 180;
  const double c = std::cos(a), s = std::sin(a), t = 1 - c;
  return {t * x * x + c,
          t * x * y - s * z,
          t * x * z + s * y,
          0,
          t * x * y + s * z,
          t * y * y + c,
          t * y * z - s * x,
          0,
          t * x * z - s * y,
          t * y * z + s * x,
          t * z * z + c,
          0,
          0,
          0,
          0,
          1};
}

Matrix scale(double s)
{
  return {s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, 0, 0, 0, 1};
}

std::array<double, 3> transformPoint(const Matrix& m, const std::array<double, 3>& p)
{
  std::array<double, 3> result;
  for (int i = 0; i < 3; ++i)
  {
    result[i] = m[4 * i] * p[0] + m[4 * i + 1] * p[1] + m[4 * i + 2] * p[2] + m[4 * i + 3];
  }
  return result;
}

::testing::AssertionResult matrixNear(const Matrix& expected, const Matrix& actual,
                                      double tolerance)
{
  for (int i = 0; i < 16; ++i)
  {
    if (!(std::abs(expected[i] - actual[i]) <= tolerance))
    {
      std::ostringstream text;
      text << "element (" << i / 4 << ", " << i % 4 << ") is " << actual[i] << ", expected "
           << expected[i] << "\nactual:";
      for (int k = 0; k < 16; ++k)
      {
        text << (k % 4 == 0 ? "\n  " : " ") << actual[k];
      }
      return ::testing::AssertionFailure() << text.str();
    }
  }
  return ::testing::AssertionSuccess();
}

std::vector<Matrix> jointMatrices(vtkActor* actor)
{
  std::vector<float> values;
  actor->GetShaderProperty()->GetVertexCustomUniforms()->GetUniform("jointMatrices", values);
  std::vector<Matrix> matrices(values.size() / 16);
  for (std::size_t m = 0; m < matrices.size(); ++m)
  {
    // Stored column by column.
    for (int column = 0; column < 4; ++column)
    {
      for (int row = 0; row < 4; ++row)
      {
        matrices[m][4 * row + column] = values[16 * m + 4 * column + row];
      }
    }
  }
  return matrices;
}
} // namespace ML::Test
