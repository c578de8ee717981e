#pragma once
// Shared helpers of the importer tests: a model read into a renderer of its own
// (no render window, so no display is needed), matrix comparisons and the joint
// matrices that an actor carries.

#include "AssimpImporter.h"

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace ML::Test
{
class ImportedModel
{
public:
  explicit ImportedModel(const std::string& path);

  AssimpImporter* operator->() const { return this->Importer; }
  AssimpImporter* importer() const { return this->Importer; }
  vtkRenderer* renderer() const { return this->Renderer; }
  bool read() const { return this->Read; }

  vtkMatrix4x4* local(const std::string& node) const;
  vtkMatrix4x4* global(const std::string& node) const;
  vtkActorCollection* actors(const std::string& node) const;
  vtkActor* firstActor(const std::string& node) const;
  int actorCount() const;
  void poseAt(double seconds) const; // UpdateTimeStep with an identity model transform

private:
  vtkSmartPointer<AssimpImporter> Importer;
  vtkNew<vtkRenderer> Renderer;
  bool Read = false;
};

using Matrix = std::array<double, 16>; // row-major

Matrix identity();
Matrix elementsOf(const vtkMatrix4x4* m);
Matrix multiply(const Matrix& a, const Matrix& b);
Matrix inverse(const Matrix& m);
Matrix translate(double x, double y, double z);
Matrix rotate(double degrees, double x, double y, double z); // about a unit axis
Matrix scale(double s);
std::array<double, 3> transformPoint(const Matrix& m, const std::array<double, 3>& p);

::testing::AssertionResult matrixNear(const Matrix& expected, const Matrix& actual,
                                      double tolerance);
inline ::testing::AssertionResult matrixNear(const Matrix& expected, const vtkMatrix4x4* actual,
                                             double tolerance)
{
  return matrixNear(expected, elementsOf(actual), tolerance);
}

// The "jointMatrices" uniform of an actor as row-major matrices (empty if unset).
std::vector<Matrix> jointMatrices(vtkActor* actor);
} // namespace ML::Test
