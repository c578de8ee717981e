// Conversion of single Assimp meshes, built here with exactly the data each case needs.

#include "ImporterTestSupport.h"

#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkFieldData.h>
#include <vtkFloatArray.h>
#include <vtkIdList.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkStringArray.h>
#include <vtkUnsignedShortArray.h>

#include <assimp/mesh.h>

#include <cmath>
#include <memory>
#include <numeric>

using namespace ML::Test;

namespace
{
template <typename T>
T* copyOf(const std::vector<T>& values)
{
  T* result = new T[values.size()];
  std::copy(values.begin(), values.end(), result);
  return result;
}

class MeshMaker
{
public:
  MeshMaker(const std::vector<aiVector3D>& positions,
            const std::vector<std::vector<unsigned>>& faces)
      : Mesh(std::make_unique<aiMesh>())
  {
    this->Mesh->mNumVertices = static_cast<unsigned>(positions.size());
    this->Mesh->mVertices = positions.empty() ? nullptr : copyOf(positions);
    this->Mesh->mNumFaces = static_cast<unsigned>(faces.size());
    this->Mesh->mFaces = new aiFace[faces.size()];
    for (std::size_t f = 0; f < faces.size(); ++f)
    {
      this->Mesh->mFaces[f].mNumIndices = static_cast<unsigned>(faces[f].size());
      this->Mesh->mFaces[f].mIndices = faces[f].empty() ? nullptr : copyOf(faces[f]);
    }
  }

  MeshMaker& normals(const aiVector3D& n)
  {
    this->Mesh->mNormals = this->perVertex(n);
    return *this;
  }
  MeshMaker& uvs(unsigned components)
  {
    std::vector<aiVector3D> uv;
    for (unsigned i = 0; i < this->Mesh->mNumVertices; ++i)
    {
      // Planar mapping of x and y, so that tangents run along +X.
      uv.emplace_back(this->Mesh->mVertices[i].x, this->Mesh->mVertices[i].y, 0.5f);
    }
    this->Mesh->mTextureCoords[0] = copyOf(uv);
    this->Mesh->mNumUVComponents[0] = components;
    return *this;
  }
  MeshMaker& tangents(const aiVector3D& t)
  {
    this->Mesh->mTangents = this->perVertex(t);
    return *this;
  }
  MeshMaker& bitangents(const aiVector3D& b)
  {
    this->Mesh->mBitangents = this->perVertex(b);
    return *this;
  }
  MeshMaker& colours(const aiColor4D& c)
  {
    this->Mesh->mColors[0] = copyOf(std::vector<aiColor4D>(this->Mesh->mNumVertices, c));
    return *this;
  }
  MeshMaker& bone(const std::string& name, const std::vector<std::pair<unsigned, float>>& weights,
                  float offsetX = 0)
  {
    auto* bone = new aiBone;
    bone->mName = name;
    bone->mNumWeights = static_cast<unsigned>(weights.size());
    bone->mWeights = new aiVertexWeight[weights.size()];
    for (std::size_t w = 0; w < weights.size(); ++w)
    {
      bone->mWeights[w] = aiVertexWeight(weights[w].first, weights[w].second);
    }
    bone->mOffsetMatrix.a4 = offsetX;
    bone->mOffsetMatrix.b1 = 0.5f; // not symmetric: shows the element order
    this->Bones.push_back(bone);
    delete[] this->Mesh->mBones;
    this->Mesh->mNumBones = static_cast<unsigned>(this->Bones.size());
    this->Mesh->mBones = copyOf(this->Bones);
    return *this;
  }

  const aiMesh* get() const { return this->Mesh.get(); }

private:
  aiVector3D* perVertex(const aiVector3D& v)
  {
    return copyOf(std::vector<aiVector3D>(this->Mesh->mNumVertices, v));
  }

  std::unique_ptr<aiMesh> Mesh;
  std::vector<aiBone*> Bones;
};

const std::vector<aiVector3D> Square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

vtkSmartPointer<vtkPolyData> convert(const MeshMaker& mesh)
{
  auto importer = vtkSmartPointer<AssimpImporter>::New();
  return importer->CreateMesh(mesh.get());
}

std::vector<vtkIdType> cellPoints(vtkCellArray* cells, vtkIdType cell)
{
  vtkNew<vtkIdList> ids;
  cells->GetCellAtId(cell, ids);
  return std::vector<vtkIdType>(ids->begin(), ids->end());
}

TEST(MeshConversion, CompleteMeshIsCopiedAsStored)
{
  MeshMaker mesh(Square, {{0, 1, 2, 3}});
  mesh.normals({0, 0, 1}).uvs(2).tangents({1, 0, 0}).bitangents({0, 1, 0}).colours(
      {0.2f, 0.4f, 0.6f, 0.25f});
  vtkSmartPointer<vtkPolyData> polyData = convert(mesh);

  ASSERT_EQ(polyData->GetNumberOfPoints(), 4);
  EXPECT_EQ(polyData->GetPoints()->GetDataType(), VTK_FLOAT);
  double p[3];
  polyData->GetPoint(2, p);
  EXPECT_EQ(p[0], 1);
  EXPECT_EQ(p[1], 1);

  vtkPointData* pd = polyData->GetPointData();
  ASSERT_NE(pd->GetNormals(), nullptr);
  EXPECT_STREQ(pd->GetNormals()->GetName(), "Normal");
  EXPECT_EQ(pd->GetNormals()->GetComponent(3, 2), 1);
  ASSERT_NE(pd->GetTCoords(), nullptr);
  EXPECT_STREQ(pd->GetTCoords()->GetName(), "UV");
  EXPECT_EQ(pd->GetTCoords()->GetNumberOfComponents(), 2);
  EXPECT_EQ(pd->GetTCoords()->GetComponent(2, 0), 1);
  ASSERT_NE(pd->GetTangents(), nullptr);
  EXPECT_STREQ(pd->GetTangents()->GetName(), "Tangents");
  EXPECT_EQ(pd->GetTangents()->GetComponent(1, 0), 1);
  ASSERT_NE(pd->GetScalars(), nullptr);
  EXPECT_STREQ(pd->GetScalars()->GetName(), "Colors");
  ASSERT_EQ(pd->GetScalars()->GetNumberOfComponents(), 4);
  EXPECT_FLOAT_EQ(static_cast<float>(pd->GetScalars()->GetComponent(0, 3)), 0.25f);
  EXPECT_TRUE(vtkFloatArray::SafeDownCast(pd->GetScalars()));

  // Complete tangent frame: no filter ran, the quad is still one polygon.
  ASSERT_EQ(polyData->GetNumberOfPolys(), 1);
  EXPECT_EQ(cellPoints(polyData->GetPolys(), 0), (std::vector<vtkIdType>{0, 1, 2, 3}));
}

TEST(MeshConversion, MissingTangentsAreGeneratedOnTriangles)
{
  MeshMaker mesh(Square, {{0, 1, 2, 3}});
  mesh.normals({0, 0, 1}).uvs(2).tangents({0, 0, 1}).colours({1, 0, 0, 1});
  vtkSmartPointer<vtkPolyData> polyData = convert(mesh);

  EXPECT_EQ(polyData->GetNumberOfPolys(), 2) << "the quad is split for the tangent filter";
  vtkPointData* pd = polyData->GetPointData();
  ASSERT_NE(pd->GetTangents(), nullptr);
  // Regenerated from the planar texture mapping, the stored (0, 0, 1) is gone.
  EXPECT_NEAR(pd->GetTangents()->GetComponent(0, 0), 1, 1e-6);
  EXPECT_NEAR(pd->GetTangents()->GetComponent(0, 2), 0, 1e-6);
  EXPECT_NE(pd->GetArray("Normal"), nullptr);
  EXPECT_NE(pd->GetArray("UV"), nullptr);
  EXPECT_NE(pd->GetArray("Colors"), nullptr);
}

TEST(MeshConversion, QuadWithoutTextureCoordinatesStaysOnePolygon)
{
  MeshMaker mesh(Square, {{0, 1, 2, 3}});
  mesh.normals({0, 0, 1});
  vtkSmartPointer<vtkPolyData> polyData = convert(mesh);
  ASSERT_EQ(polyData->GetNumberOfPolys(), 1);
  EXPECT_EQ(cellPoints(polyData->GetPolys(), 0).size(), 4u);
  EXPECT_EQ(polyData->GetPointData()->GetTangents(), nullptr);
}

TEST(MeshConversion, ThreeComponentTextureCoordinatesKeepTheGeometry)
{
  MeshMaker mesh(Square, {{0, 1, 2, 3}});
  mesh.normals({0, 0, 1}).uvs(3);
  vtkSmartPointer<vtkPolyData> polyData = convert(mesh);
  EXPECT_EQ(polyData->GetPointData()->GetTCoords(), nullptr);
  EXPECT_EQ(polyData->GetPointData()->GetArray("UV"), nullptr);
  EXPECT_EQ(polyData->GetNumberOfPoints(), 4);
  EXPECT_EQ(polyData->GetNumberOfPolys(), 1);
  EXPECT_NE(polyData->GetPointData()->GetNormals(), nullptr);
}

TEST(MeshConversion, FacesBecomeVertexLineAndPolygonCells)
{
  MeshMaker mesh(Square, {{2}, {0, 1}, {1, 2, 3}, {3}, {}, {3, 0}});
  vtkSmartPointer<vtkPolyData> polyData = convert(mesh);
  ASSERT_EQ(polyData->GetNumberOfVerts(), 2);
  EXPECT_EQ(cellPoints(polyData->GetVerts(), 0), (std::vector<vtkIdType>{2}));
  EXPECT_EQ(cellPoints(polyData->GetVerts(), 1), (std::vector<vtkIdType>{3}));
  ASSERT_EQ(polyData->GetNumberOfLines(), 2);
  EXPECT_EQ(cellPoints(polyData->GetLines(), 1), (std::vector<vtkIdType>{3, 0}));
  ASSERT_EQ(polyData->GetNumberOfPolys(), 2);
  EXPECT_EQ(cellPoints(polyData->GetPolys(), 0), (std::vector<vtkIdType>{1, 2, 3}));
  EXPECT_TRUE(cellPoints(polyData->GetPolys(), 1).empty()) << "a face without indices";
}

TEST(MeshConversion, MeshWithoutVerticesKeepsItsFacesOnly)
{
  MeshMaker mesh({}, {{}, {}});
  mesh.normals({0, 0, 1}).colours({1, 1, 1, 1});
  vtkSmartPointer<vtkPolyData> polyData = convert(mesh);
  EXPECT_EQ(polyData->GetNumberOfPoints(), 0);
  EXPECT_EQ(polyData->GetPointData()->GetNumberOfArrays(), 0);
  EXPECT_EQ(polyData->GetNumberOfPolys(), 2);
}

TEST(MeshConversion, PolygonsLargerThanTheUsualLimitAreKeptWhole)
{
  const unsigned n = 40000;
  std::vector<aiVector3D> ring;
  std::vector<unsigned> face(n);
  for (unsigned i = 0; i < n; ++i)
  {
    const float a = 6.2831853f * static_cast<float>(i) / n;
    ring.emplace_back(std::cos(a), std::sin(a), 0);
  }
  std::iota(face.begin(), face.end(), 0u);
  MeshMaker mesh(ring, {face, {0, 1, 2}});
  vtkSmartPointer<vtkPolyData> polyData = convert(mesh);
  ASSERT_EQ(polyData->GetNumberOfPolys(), 2);
  const std::vector<vtkIdType> ids = cellPoints(polyData->GetPolys(), 0);
  ASSERT_EQ(ids.size(), n);
  EXPECT_EQ(ids[32768], 32768);
  EXPECT_EQ(ids.back(), n - 1);
  EXPECT_EQ(cellPoints(polyData->GetPolys(), 1), (std::vector<vtkIdType>{0, 1, 2}));
}

TEST(MeshConversion, BonesGiveJointsWeightsNamesAndInverseBindMatrices)
{
  MeshMaker mesh(Square, {{0, 1, 2}, {0, 2, 3}});
  // Vertex 0 is listed by five bones: the fifth pair is dropped. Vertex 3 has none.
  mesh.bone("A", {{0, 0.1f}, {1, 1.f}}, 1)
      .bone("B", {{0, 0.2f}, {2, 0.75f}}, 2)
      .bone("C", {{0, 0.3f}, {2, 0.25f}}, 3)
      .bone("D", {{0, 0.3f}}, 4)
      .bone("E", {{0, 0.1f}}, 5);
  vtkSmartPointer<vtkPolyData> polyData = convert(mesh);

  vtkPointData* pd = polyData->GetPointData();
  auto* joints = vtkUnsignedShortArray::SafeDownCast(pd->GetArray("JOINTS_0"));
  auto* weights = vtkFloatArray::SafeDownCast(pd->GetArray("WEIGHTS_0"));
  ASSERT_TRUE(joints && weights);
  EXPECT_EQ(joints->GetNumberOfComponents(), 4);
  EXPECT_EQ(weights->GetNumberOfTuples(), 4);
  EXPECT_NE(pd->GetScalars(), joints);
  EXPECT_EQ(pd->GetAbstractArray(0), weights) << "weights come first";
  EXPECT_EQ(pd->GetAbstractArray(1), joints);

  const unsigned short joints0[4] = {0, 1, 2, 3};
  const float weights0[4] = {0.1f, 0.2f, 0.3f, 0.3f};
  for (int k = 0; k < 4; ++k)
  {
    EXPECT_EQ(joints->GetTypedComponent(0, k), joints0[k]);
    EXPECT_EQ(weights->GetTypedComponent(0, k), weights0[k]);
  }
  EXPECT_EQ(joints->GetTypedComponent(2, 0), 1);
  EXPECT_EQ(joints->GetTypedComponent(2, 1), 2);
  EXPECT_EQ(weights->GetTypedComponent(2, 1), 0.25f);
  EXPECT_EQ(weights->GetTypedComponent(2, 2), 0.f);
  for (int k = 0; k < 4; ++k)
  {
    EXPECT_EQ(joints->GetTypedComponent(3, k), 0);
    EXPECT_EQ(weights->GetTypedComponent(3, k), 0.f);
  }

  auto* names = vtkStringArray::SafeDownCast(polyData->GetFieldData()->GetAbstractArray("Bones"));
  auto* inverseBinds = vtkDoubleArray::SafeDownCast(
      polyData->GetFieldData()->GetAbstractArray("InverseBindMatrices"));
  ASSERT_TRUE(names && inverseBinds);
  EXPECT_EQ(polyData->GetFieldData()->GetAbstractArray(0), names);
  ASSERT_EQ(names->GetNumberOfValues(), 5);
  EXPECT_EQ(names->GetValue(4), "E");
  ASSERT_EQ(inverseBinds->GetNumberOfComponents(), 16);
  // Row-major: element [0][3] is component 3, element [1][0] component 4.
  EXPECT_EQ(inverseBinds->GetComponent(1, 3), 2);
  EXPECT_EQ(inverseBinds->GetComponent(1, 4), 0.5);
  EXPECT_EQ(inverseBinds->GetComponent(1, 0), 1);
}

TEST(MeshConversion, SkinningSurvivesTangentGeneration)
{
  MeshMaker mesh(Square, {{0, 1, 2, 3}});
  mesh.normals({0, 0, 1}).uvs(2).bone("A", {{0, 1.f}, {1, 1.f}, {2, 1.f}, {3, 1.f}});
  vtkSmartPointer<vtkPolyData> polyData = convert(mesh);
  EXPECT_EQ(polyData->GetNumberOfPolys(), 2);
  EXPECT_NE(polyData->GetPointData()->GetTangents(), nullptr);
  EXPECT_NE(polyData->GetPointData()->GetArray("JOINTS_0"), nullptr);
  EXPECT_NE(polyData->GetPointData()->GetArray("WEIGHTS_0"), nullptr);
  EXPECT_NE(polyData->GetFieldData()->GetAbstractArray("Bones"), nullptr);
  EXPECT_NE(polyData->GetFieldData()->GetAbstractArray("InverseBindMatrices"), nullptr);
}

TEST(MeshConversion, MeshesWithoutBonesHaveNoSkinningArrays)
{
  MeshMaker mesh(Square, {{0, 1, 2}});
  vtkSmartPointer<vtkPolyData> polyData = convert(mesh);
  EXPECT_EQ(polyData->GetPointData()->GetNumberOfArrays(), 0);
  EXPECT_EQ(polyData->GetFieldData()->GetNumberOfArrays(), 0);
}
} // namespace
