#include "AssimpImporter.h"
#include "ReadGuard.h"
#include "TextureImage.h"

#include "ModelFiles.h"

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkCellArray.h>
#include <vtkCommand.h>
#include <vtkDoubleArray.h>
#include <vtkFieldData.h>
#include <vtkFloatArray.h>
#include <vtkHomogeneousTransform.h>
#include <vtkIdTypeArray.h>
#include <vtkImageData.h>
#include <vtkMath.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkPolyDataTangents.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkShaderProperty.h>
#include <vtkStringArray.h>
#include <vtkTexture.h>
#include <vtkTriangleFilter.h>
#include <vtkTypeInt32Array.h>
#include <vtkTypeInt64Array.h>
#include <vtkUniforms.h>
#include <vtkUnsignedShortArray.h>
#include <vtksys/SystemTools.hxx>

#include <assimp/Exceptional.h>
#include <assimp/ProgressHandler.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QByteArray>
#include <QDebug>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <regex>

vtkStandardNewMacro(AssimpImporter);

namespace
{
// Assimp names are byte strings with a length; they are compared as stored.
std::string ToString(const aiString& name)
{
  return std::string(name.data, name.length);
}

QString ToQString(const std::string& text)
{
  return QString::fromStdString(text);
}

template <typename Visit>
void ForEachActor(vtkActorCollection* actors, Visit visit)
{
  vtkCollectionSimpleIterator it;
  actors->InitTraversal(it);
  while (vtkActor* actor = actors->GetNextActor(it))
  {
    visit(actor);
  }
}

//------------------------------------------------------------------------------
// Mesh conversion

static_assert(sizeof(aiVector3D) == 3 * sizeof(float), "positions are copied as float triples");
static_assert(sizeof(aiColor4D) == 4 * sizeof(float), "colours are copied as float quadruples");

vtkSmartPointer<vtkFloatArray> MakeFloatArray(const char* name, int components, vtkIdType tuples)
{
  auto array = vtkSmartPointer<vtkFloatArray>::New();
  array->SetName(name);
  array->SetNumberOfComponents(components);
  array->SetNumberOfTuples(tuples);
  return array;
}

vtkSmartPointer<vtkFloatArray> CopyVectors(const char* name, const aiVector3D* vectors, vtkIdType n)
{
  auto array = MakeFloatArray(name, 3, n);
  if (n > 0)
  {
    std::memcpy(array->GetPointer(0), vectors, n * sizeof(aiVector3D));
  }
  return array;
}

// The vectors themselves, not a copy: for meshes that nothing changes on the CPU,
// whose scene outlives them.
vtkSmartPointer<vtkFloatArray> ShareVectors(const char* name, const aiVector3D* vectors,
                                            vtkIdType n)
{
  auto array = vtkSmartPointer<vtkFloatArray>::New();
  array->SetName(name);
  array->SetNumberOfComponents(3);
  // VTK takes a writable pointer but neither writes nor frees it (save = 1).
  array->SetArray(reinterpret_cast<float*>(const_cast<aiVector3D*>(vectors)), 3 * n, 1);
  return array;
}

// A big mesh's positions and normals are the largest part of its memory. Unless morph
// targets move them on the CPU, the mesh uses Assimp's arrays, which the importer
// keeps for export and playback anyway.
vtkSmartPointer<vtkFloatArray> MeshVectors(const aiMesh* mesh, const char* name,
                                           const aiVector3D* vectors)
{
  return mesh->mNumAnimMeshes == 0 ? ShareVectors(name, vectors, mesh->mNumVertices)
                                   : CopyVectors(name, vectors, mesh->mNumVertices);
}

void AddPoints(const aiMesh* mesh, vtkPolyData* polyData)
{
  vtkNew<vtkPoints> points;
  points->SetData(MeshVectors(mesh, nullptr, mesh->mVertices));
  polyData->SetPoints(points);
}

void AddTextureCoordinates(const aiMesh* mesh, vtkPolyData* polyData)
{
  const vtkIdType n = mesh->mNumVertices;
  auto uv = MakeFloatArray("UV", 2, n);
  float* out = uv->GetPointer(0);
  const aiVector3D* in = mesh->mTextureCoords[0];
  for (vtkIdType i = 0; i < n; ++i)
  {
    out[2 * i] = in[i].x;
    out[2 * i + 1] = in[i].y;
  }
  polyData->GetPointData()->SetTCoords(uv);
}

void AddColors(const aiMesh* mesh, vtkPolyData* polyData)
{
  const vtkIdType n = mesh->mNumVertices;
  auto colors = MakeFloatArray("Colors", 4, n);
  std::memcpy(colors->GetPointer(0), mesh->mColors[0], n * sizeof(aiColor4D));
  polyData->GetPointData()->SetScalars(colors);
}

bool NamesOnlyMeshVertices(const aiFace& face, unsigned vertexCount)
{
  return std::all_of(face.mIndices, face.mIndices + face.mNumIndices,
                     [vertexCount](unsigned index) { return index < vertexCount; });
}

// The indices of all faces as one run, when they are packed one after another (as
// the importer keeps a read scene's); null otherwise.
const unsigned* PackedIndices(const aiMesh* mesh)
{
  const unsigned* next = mesh->mNumFaces > 0 ? mesh->mFaces[0].mIndices : nullptr;
  for (unsigned f = 0; next && f < mesh->mNumFaces; ++f)
  {
    if (mesh->mFaces[f].mIndices != next)
    {
      return nullptr;
    }
    next += mesh->mFaces[f].mNumIndices;
  }
  return next ? mesh->mFaces[0].mIndices : nullptr;
}

// Fills `cells` with the usable faces of one kind, sized beforehand. Packed faces
// (`packed`, 32-bit storage only) are used in place, as the points use Assimp's
// vertices: a big mesh's indices are not held twice.
template <typename Array, typename KindOf>
void FillCells(const aiMesh* mesh, const std::vector<bool>& usable, int kind, KindOf kindOf,
               vtkIdType cellCount, vtkIdType idCount, const unsigned* packed, vtkCellArray* cells)
{
  using Value = typename Array::ValueType;
  vtkNew<Array> offsets;
  vtkNew<Array> connectivity;
  offsets->SetNumberOfValues(cellCount + 1);
  static_assert(sizeof(Value) >= sizeof(unsigned));
  if (packed && sizeof(Value) == sizeof(unsigned))
  {
    // Read only: nothing converts or edits a model's cells once made.
    connectivity->SetArray(reinterpret_cast<Value*>(const_cast<unsigned*>(packed)), idCount, 1);
  }
  else
  {
    packed = nullptr;
    connectivity->SetNumberOfValues(idCount);
  }
  Value* nextOffset = offsets->GetPointer(0);
  Value* const firstId = connectivity->GetPointer(0);
  Value* nextId = firstId;
  *nextOffset++ = 0;
  for (unsigned f = 0; cellCount > 0 && f < mesh->mNumFaces; ++f)
  {
    const aiFace& face = mesh->mFaces[f];
    if (!usable[f] || kindOf(face.mNumIndices) != kind)
    {
      continue;
    }
    nextId = packed ? nextId + face.mNumIndices
                    : std::copy(face.mIndices, face.mIndices + face.mNumIndices, nextId);
    *nextOffset++ = static_cast<Value>(nextId - firstId);
  }
  cells->SetData(offsets, connectivity);
}

// Faces become vertex cells (1 index), line cells (2) or polygons (any other count,
// an empty polygon included). The cell arrays are sized in a first pass and filled
// in place in a second, so a face of any size is converted whole. A face naming a
// vertex the mesh does not have is left out, as VTK's filters would read past the points.
void AddCells(const aiMesh* mesh, vtkPolyData* polyData)
{
  enum Kind
  {
    Vertex,
    Line,
    Polygon,
    KindCount
  };
  auto kindOf = [](unsigned count) { return count == 1 ? Vertex : count == 2 ? Line : Polygon; };

  std::array<vtkIdType, KindCount> cellCounts{};
  std::array<vtkIdType, KindCount> idCounts{};
  std::vector<bool> usable(mesh->mNumFaces);
  for (unsigned f = 0; f < mesh->mNumFaces; ++f)
  {
    usable[f] = NamesOnlyMeshVertices(mesh->mFaces[f], mesh->mNumVertices);
    const Kind kind = kindOf(mesh->mFaces[f].mNumIndices);
    cellCounts[kind] += usable[f] ? 1 : 0;
    idCounts[kind] += usable[f] ? mesh->mFaces[f].mNumIndices : 0;
  }

  // 32-bit storage halves the cells' memory; only meshes past two billion indices
  // need VTK's 64-bit ids.
  std::array<vtkNew<vtkCellArray>, KindCount> cells;
  const unsigned* packed = PackedIndices(mesh);
  for (int kind = 0; kind < KindCount; ++kind)
  {
    // Packed indices are this kind's connectivity when every face is usable and of it.
    const unsigned* inPlace = cellCounts[kind] == mesh->mNumFaces ? packed : nullptr;
    if (idCounts[kind] < std::numeric_limits<vtkTypeInt32>::max())
    {
      FillCells<vtkTypeInt32Array>(mesh, usable, kind, kindOf, cellCounts[kind], idCounts[kind],
                                   inPlace, cells[kind]);
    }
    else
    {
      FillCells<vtkTypeInt64Array>(mesh, usable, kind, kindOf, cellCounts[kind], idCounts[kind],
                                   inPlace, cells[kind]);
    }
  }
  polyData->SetVerts(cells[Vertex]);
  polyData->SetLines(cells[Line]);
  polyData->SetPolys(cells[Polygon]);
}

// Up to four (joint, weight) slots per vertex, filled in bone order.
struct VertexInfluences
{
  std::array<unsigned short, 4> Joints{};
  std::array<float, 4> Weights{};
  unsigned Count = 0;

  // Weights that do not add up to one would scale the vertex toward the mesh's
  // origin; a vertex without any keeps all zeros, which the shader leaves in place.
  void normalize()
  {
    const float total = Weights[0] + Weights[1] + Weights[2] + Weights[3];
    if (total > 0.f && std::isfinite(total))
    {
      for (float& weight : Weights)
      {
        weight /= total;
      }
    }
  }
};

// Weights for a vertex the mesh does not have, or that are not numbers, are
// dropped, like a vertex's fifth.
void AddInfluence(std::vector<VertexInfluences>& influences, unsigned joint,
                  const aiVertexWeight& weight)
{
  if (weight.mVertexId >= influences.size() || !std::isfinite(weight.mWeight))
  {
    return;
  }
  VertexInfluences& vertex = influences[weight.mVertexId];
  if (vertex.Count < 4)
  {
    vertex.Joints[vertex.Count] = static_cast<unsigned short>(joint);
    vertex.Weights[vertex.Count] = weight.mWeight;
    ++vertex.Count;
  }
}

void AddSkinning(const aiMesh* mesh, vtkPolyData* polyData)
{
  const vtkIdType n = mesh->mNumVertices;
  std::vector<VertexInfluences> influences(n);
  vtkNew<vtkStringArray> boneNames;
  boneNames->SetName("Bones");
  boneNames->SetNumberOfValues(mesh->mNumBones);
  vtkNew<vtkDoubleArray> inverseBindMatrices;
  inverseBindMatrices->SetName("InverseBindMatrices");
  inverseBindMatrices->SetNumberOfComponents(16);
  inverseBindMatrices->SetNumberOfTuples(mesh->mNumBones);

  vtkNew<vtkMatrix4x4> offset;
  for (unsigned j = 0; j < mesh->mNumBones; ++j)
  {
    const aiBone* bone = mesh->mBones[j];
    boneNames->SetValue(j, ToString(bone->mName));
    for (unsigned w = 0; w < bone->mNumWeights; ++w)
    {
      AddInfluence(influences, j, bone->mWeights[w]);
    }
    AssimpImporter::ToVTKMatrix(bone->mOffsetMatrix, offset);
    inverseBindMatrices->SetTuple(j, offset->GetData());
  }

  auto weights = MakeFloatArray("WEIGHTS_0", 4, n);
  vtkNew<vtkUnsignedShortArray> joints;
  joints->SetName("JOINTS_0");
  joints->SetNumberOfComponents(4);
  joints->SetNumberOfTuples(n);
  for (vtkIdType v = 0; v < n; ++v)
  {
    influences[v].normalize();
    std::copy_n(influences[v].Weights.data(), 4, weights->GetPointer(4 * v));
    std::copy_n(influences[v].Joints.data(), 4, joints->GetPointer(4 * v));
  }
  polyData->GetPointData()->AddArray(weights);
  polyData->GetPointData()->AddArray(joints);
  polyData->GetFieldData()->AddArray(boneNames);
  polyData->GetFieldData()->AddArray(inverseBindMatrices);
}

// Tangents for normal mapping, from the texture coordinates. The tangent filter only
// takes triangles. When it cannot work (no usable texture coordinates) the mesh is
// passed on as built rather than lost.
vtkSmartPointer<vtkPolyData> GenerateTangents(vtkPolyData* polyData)
{
  vtkNew<vtkPolyDataTangents> tangents;
  // A mesh of triangles alone would come out of the triangle filter unchanged; most
  // files hold nothing else, and big meshes then skip a full copy of their cells.
  vtkNew<vtkTriangleFilter> triangles;
  if (polyData->GetPolys()->IsHomogeneous() == 3)
  {
    // The filter reads cells from several threads, which VTK only allows for cells in
    // 64-bit storage: 32-bit cells are handed out through one shared buffer.
    polyData->GetPolys()->ConvertTo64BitStorage();
    tangents->SetInputData(polyData);
  }
  else
  {
    triangles->SetInputData(polyData);
    tangents->SetInputConnection(triangles->GetOutputPort());
  }
  tangents->Update();
  if (!tangents->GetOutput()->GetPointData()->GetTangents())
  {
    return polyData;
  }
  // A copy detached from the filters, so that their intermediate data is released.
  auto output = vtkSmartPointer<vtkPolyData>::New();
  output->ShallowCopy(tangents->GetOutput());
  return output;
}

//------------------------------------------------------------------------------
// Materials and textures

void ApplyShadingModel(int model, vtkProperty* property)
{
  switch (model)
  {
  case aiShadingMode_Flat:
    property->SetInterpolationToFlat();
    break;
  case aiShadingMode_Gouraud:
  case aiShadingMode_Phong:
  case aiShadingMode_Blinn:
  case aiShadingMode_Minnaert:
    property->SetInterpolationToPhong();
    break;
  case aiShadingMode_Toon:
  case aiShadingMode_NoShading:
    property->LightingOff();
    break;
  case aiShadingMode_OrenNayar:
  case aiShadingMode_CookTorrance:
  case aiShadingMode_Fresnel:
    property->SetInterpolationToPBR();
    break;
  default:
    break;
  }
}

vtkSmartPointer<vtkTexture> TextureOf(vtkImageData* image)
{
  auto texture = vtkSmartPointer<vtkTexture>::New();
  texture->SetInputData(image);
  return texture;
}

// The hint of a texture read from a file need not end within its array.
std::string FormatHint(const aiTexture* texture)
{
  return std::string(texture->achFormatHint, strnlen(texture->achFormatHint, HINTMAXTEXTURELEN));
}

// Not every format keeps the file name of an embedded image.
QString EmbeddedImageName(const aiTexture* texture)
{
  return texture->mFilename.length > 0
             ? ToQString(ToString(texture->mFilename))
             : QStringLiteral("embedded %1 image").arg(ToQString(FormatHint(texture)));
}

void ReportUndecodedImage(const QString& name, const QString& reason)
{
  qDebug().noquote() << QStringLiteral("Cannot decode texture \"%1\": %2").arg(name, reason);
}

// Uncompressed texels come in the four-channel orders that Assimp names with
// lower-case hints, and are copied as stored.
vtkSmartPointer<vtkImageData> CopyTexels(const aiTexture* texture, QString& error)
{
  static const std::regex rawTexelHint("[rgba]{4}[0-9]{4}");
  const std::string hint = FormatHint(texture);
  if (!std::regex_match(hint, rawTexelHint))
  {
    error = QStringLiteral("texels of the unknown layout \"%1\"").arg(ToQString(hint));
    return nullptr;
  }
  auto image = vtkSmartPointer<vtkImageData>::New();
  image->SetDimensions(static_cast<int>(texture->mWidth), static_cast<int>(texture->mHeight), 1);
  image->AllocateScalars(VTK_UNSIGNED_CHAR, 4);
  std::memcpy(image->GetScalarPointer(), texture->pcData,
              static_cast<std::size_t>(texture->mWidth) * texture->mHeight * 4);
  return image;
}

struct TextureSlot
{
  aiTextureType Type;
  const char* Name;
  bool SRGB;
};

const TextureSlot TextureSlots[] = {
    {aiTextureType_DIFFUSE, "diffuseTex", false},
    {aiTextureType_NORMALS, "normalTex", false},
    {aiTextureType_BASE_COLOR, "albedoTex", true},
    {aiTextureType_EMISSIVE, "emissiveTex", true},
};

//------------------------------------------------------------------------------
// Animation

// A rate that is not a positive number counts seconds as ticks.
double TicksPerSecond(const aiAnimation* animation)
{
  const double rate = animation->mTicksPerSecond;
  return std::isfinite(rate) && rate > 0 ? rate : 1;
}

double DurationInSeconds(const aiAnimation* animation)
{
  const double seconds = animation->mDuration / TicksPerSecond(animation);
  return std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

// Value of a sorted key list at time t: held before the first and after the last
// key, blended between the two keys around t otherwise.
template <typename Key, typename Blend>
auto EvaluateKeys(const Key* keys, unsigned count, double t, Blend blend)
{
  const Key* end = keys + count;
  const Key* next =
      std::lower_bound(keys, end, t, [](const Key& key, double time) { return key.mTime < time; });
  if (next == keys)
  {
    return keys[0].mValue;
  }
  if (next == end)
  {
    return keys[count - 1].mValue;
  }
  if (next->mTime == t)
  {
    return next->mValue;
  }
  const Key& previous = next[-1];
  const float f = static_cast<float>((t - previous.mTime) / (next->mTime - previous.mTime));
  return blend(previous.mValue, next->mValue, f);
}

aiVector3D Lerp(const aiVector3D& a, const aiVector3D& b, float f)
{
  return a + (b - a) * f;
}

// Spherical interpolation along the shorter arc, linear for nearly equal rotations;
// the result is not normalised.
aiQuaternion Slerp(const aiQuaternion& a, aiQuaternion b, float f)
{
  float c = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
  if (c < 0)
  {
    c = -c;
    b = aiQuaternion(-b.w, -b.x, -b.y, -b.z);
  }
  float wa = 1 - f;
  float wb = f;
  if (1 - c > 1e-6f)
  {
    const float theta = std::acos(c);
    const float sinTheta = std::sin(theta);
    wa = std::sin(wa * theta) / sinTheta;
    wb = std::sin(f * theta) / sinTheta;
  }
  return aiQuaternion(wa * a.w + wb * b.w, wa * a.x + wb * b.x, wa * a.y + wb * b.y,
                      wa * a.z + wb * b.z);
}

// A node's local transform as translation, rotation and scale: local = T R S.
struct LocalPose
{
  double Translation[3];
  double Rotation[3][3];
  double Scale[3];
};

// The pose stored in a local matrix, for channels that leave one kind of key empty.
LocalPose DecomposePose(vtkMatrix4x4* local)
{
  LocalPose pose{};
  for (int j = 0; j < 3; ++j)
  {
    pose.Translation[j] = local->GetElement(j, 3);
    const double column[3] = {local->GetElement(0, j), local->GetElement(1, j),
                              local->GetElement(2, j)};
    pose.Scale[j] = vtkMath::Norm(column);
    for (int i = 0; i < 3; ++i)
    {
      pose.Rotation[i][j] = pose.Scale[j] == 0 ? 0 : column[i] / pose.Scale[j];
    }
  }
  return pose;
}

void RotationMatrix(const aiQuaternion& q, double rotation[3][3])
{
  double wxyz[4] = {q.w, q.x, q.y, q.z};
  const double norm = vtkMath::Norm(wxyz, 4);
  if (norm == 0)
  {
    std::fill_n(&rotation[0][0], 9, 0.0);
    return;
  }
  for (double& component : wxyz)
  {
    component /= norm;
  }
  vtkMath::QuaternionToMatrix3x3(wxyz, rotation);
}

// The weights of a morph channel's targets at `ticks`, linear between its keys
// and held before the first and after the last.
std::vector<double> MorphWeights(const aiMeshMorphAnim* channel, double ticks, unsigned targets)
{
  std::vector<double> weights(targets, 0.0);
  if (channel->mNumKeys == 0)
  {
    return weights;
  }
  unsigned next = 0;
  while (next < channel->mNumKeys && channel->mKeys[next].mTime <= ticks)
  {
    ++next;
  }
  const aiMeshMorphKey& before = channel->mKeys[next == 0 ? 0 : next - 1];
  const aiMeshMorphKey& after = channel->mKeys[std::min(next, channel->mNumKeys - 1)];
  const double span = after.mTime - before.mTime;
  const double along = span > 0 ? std::clamp((ticks - before.mTime) / span, 0.0, 1.0) : 0.0;
  const auto add = [&](const aiMeshMorphKey& key, double share)
  {
    for (unsigned i = 0; i < key.mNumValuesAndWeights; ++i)
    {
      if (key.mValues[i] < targets && std::isfinite(key.mWeights[i]))
      {
        weights[key.mValues[i]] += share * key.mWeights[i];
      }
    }
  };
  add(before, 1.0 - along);
  add(after, along);
  return weights;
}

// Blends one vertex attribute: the mesh's own values moved toward each target's by
// its weight (targets hold whole values, as Assimp stores them).
void BlendMorphTargets(const aiVector3D* base, unsigned count, const aiMesh* mesh,
                       aiVector3D* aiAnimMesh::*values, const std::vector<double>& weights,
                       vtkDataArray* out)
{
  if (!base || !out || out->GetNumberOfTuples() != count || out->GetNumberOfComponents() != 3)
  {
    return;
  }
  for (unsigned v = 0; v < count; ++v)
  {
    double blended[3] = {base[v].x, base[v].y, base[v].z};
    for (unsigned t = 0; t < weights.size(); ++t)
    {
      const aiAnimMesh* target = mesh->mAnimMeshes[t];
      const aiVector3D* moved = target->*values;
      if (moved && target->mNumVertices == count && weights[t] != 0.0)
      {
        blended[0] += weights[t] * (moved[v].x - base[v].x);
        blended[1] += weights[t] * (moved[v].y - base[v].y);
        blended[2] += weights[t] * (moved[v].z - base[v].z);
      }
    }
    out->SetTuple(v, blended);
  }
  out->Modified();
}

void EvaluateChannel(const aiNodeAnim* channel, double ticks, vtkMatrix4x4* local)
{
  const bool complete = channel->mNumPositionKeys > 0 && channel->mNumRotationKeys > 0 &&
                        channel->mNumScalingKeys > 0;
  LocalPose pose = complete ? LocalPose{} : DecomposePose(local);
  if (channel->mNumPositionKeys > 0)
  {
    const aiVector3D p =
        EvaluateKeys(channel->mPositionKeys, channel->mNumPositionKeys, ticks, Lerp);
    std::copy_n(&p.x, 3, pose.Translation);
  }
  if (channel->mNumRotationKeys > 0)
  {
    RotationMatrix(EvaluateKeys(channel->mRotationKeys, channel->mNumRotationKeys, ticks, Slerp),
                   pose.Rotation);
  }
  if (channel->mNumScalingKeys > 0)
  {
    const aiVector3D s = EvaluateKeys(channel->mScalingKeys, channel->mNumScalingKeys, ticks, Lerp);
    std::copy_n(&s.x, 3, pose.Scale);
  }
  for (int i = 0; i < 3; ++i)
  {
    for (int j = 0; j < 3; ++j)
    {
      local->SetElement(i, j, pose.Rotation[i][j] * pose.Scale[j]);
    }
    local->SetElement(i, 3, pose.Translation[i]);
  }
}

// Joint matrices take mesh space through the bone's pose back to mesh space; the
// actor's user matrix places the result. Actors without bones are left alone.
void SetJointMatrices(vtkActor* actor,
                      const std::unordered_map<std::string, vtkSmartPointer<vtkMatrix4x4>>& globals)
{
  auto* mapper = vtkPolyDataMapper::SafeDownCast(actor->GetMapper());
  vtkPolyData* polyData = mapper ? mapper->GetInput() : nullptr;
  if (!polyData || !actor->GetUserMatrix())
  {
    return;
  }
  auto* bones = vtkStringArray::SafeDownCast(polyData->GetFieldData()->GetAbstractArray("Bones"));
  auto* inverseBindMatrices = vtkDoubleArray::SafeDownCast(
      polyData->GetFieldData()->GetAbstractArray("InverseBindMatrices"));
  if (!bones || !inverseBindMatrices || inverseBindMatrices->GetNumberOfComponents() != 16)
  {
    return;
  }
  const vtkIdType boneCount =
      std::min(bones->GetNumberOfValues(), inverseBindMatrices->GetNumberOfTuples());
  if (boneCount < 1)
  {
    return;
  }

  // A placement scaled to nothing has no inverse, and Invert then leaves its output
  // unwritten: such a mesh is flat whatever it gets, so it gets the identity.
  double meshInverse[16];
  vtkMatrix4x4::Identity(meshInverse);
  vtkMatrix4x4::Invert(actor->GetUserMatrix()->GetData(), meshInverse);
  std::vector<float> jointMatrices(16 * boneCount);
  for (vtkIdType i = 0; i < boneCount; ++i)
  {
    double m[16];
    inverseBindMatrices->GetTypedTuple(i, m);
    const std::string& boneName = bones->GetValue(i);
    const auto global = globals.find(boneName);
    if (global == globals.end())
    {
      qDebug() << "Cannot find global matrix of bone " << ToQString(boneName);
    }
    else
    {
      vtkMatrix4x4::Multiply4x4(global->second->GetData(), m, m);
    }
    vtkMatrix4x4::Multiply4x4(meshInverse, m, m);
    float* out = &jointMatrices[16 * i];
    for (int column = 0; column < 4; ++column)
    {
      for (int row = 0; row < 4; ++row)
      {
        out[4 * column + row] = static_cast<float>(m[4 * row + column]);
      }
    }
  }
  vtkUniforms* uniforms = actor->GetShaderProperty()->GetVertexCustomUniforms();
  uniforms->RemoveAllUniforms();
  uniforms->SetUniformMatrix4x4v("jointMatrices", static_cast<int>(boneCount),
                                 jointMatrices.data());
}
// Share of the progress that Assimp's own reading takes; the conversion has the rest.
constexpr double ReadShare = 0.5;

// Hands Assimp's estimates (fractions of its work, -1 when it has none) to the
// importer's progress. Returning false asks Assimp to stop at its next occasion.
class ReadProgress : public Assimp::ProgressHandler
{
public:
  explicit ReadProgress(AssimpImporter* importer) : Importer(importer) {}

  bool Update(float fraction) override
  {
    if (fraction >= 0.f)
    {
      this->Importer->ReportProgress(ReadShare * std::min(1.0, static_cast<double>(fraction)));
    }
    return !this->Importer->GetAbortRead();
  }

private:
  AssimpImporter* Importer;
};

// The conversion's share of the progress, in steps weighted by the data each
// converts: vertices and faces of a mesh, bytes of an image, one per material.
class ConversionProgress
{
public:
  ConversionProgress(AssimpImporter* importer, const aiScene& scene) : Importer(importer)
  {
    for (unsigned i = 0; i < scene.mNumMeshes; ++i)
    {
      this->Total += WeightOf(scene.mMeshes[i]);
    }
    for (unsigned i = 0; i < scene.mNumTextures; ++i)
    {
      this->Total += WeightOf(scene.mTextures[i]);
    }
    this->Total += scene.mNumMaterials + 1.0;
  }

  static double WeightOf(const aiMesh* mesh)
  {
    return static_cast<double>(mesh->mNumVertices) + mesh->mNumFaces;
  }
  static double WeightOf(const aiTexture* texture)
  {
    return static_cast<double>(texture->mWidth) * std::max(1u, texture->mHeight) / 4.0;
  }

  // Counts `weight` as done and reports; false when the read is to stop.
  bool Step(double weight)
  {
    this->Done += weight;
    this->Importer->ReportProgress(ReadShare +
                                   (1.0 - ReadShare) * std::min(1.0, this->Done / this->Total));
    return !this->Importer->GetAbortRead();
  }

private:
  AssimpImporter* Importer;
  double Done = 0.0;
  double Total = 0.0;
};
} // namespace

//------------------------------------------------------------------------------
AssimpImporter::AssimpImporter() = default;
AssimpImporter::~AssimpImporter()
{
  this->UnpackFaceIndices();
}

//------------------------------------------------------------------------------
void AssimpImporter::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "FileName: " << this->FileName << "\n";
  os << indent << "Scene: " << (this->Scene ? "read" : "(none)") << "\n";
  os << indent << "Meshes: " << this->Meshes.size() << "\n";
  os << indent << "Properties: " << this->Properties.size() << "\n";
  os << indent << "EmbeddedTextures: " << this->EmbeddedTextures.size() << "\n";
  os << indent << "ReadWarnings: " << this->ReadWarnings.size() << "\n";
  os << indent << "ActiveAnimation: " << this->ActiveAnimation << "\n";
  os << indent << "NodeActors: " << this->NodeActors.size() << "\n";
  os << indent << "AbortRead: " << this->AbortRead << "\n";
}

//------------------------------------------------------------------------------
bool AssimpImporter::ReadScene(const std::string& fileName)
{
  // Reading frees the scene read before, whether it succeeds or not, and with it
  // the meshes that use its arrays.
  this->Scene = nullptr;
  this->Meshes.clear();
  this->UnpackFaceIndices();
  this->AbortRead = false;
  const QString reason = ReadGuard::ReasonNotToRead(fileName);
  if (!reason.isEmpty())
  {
    qDebug().noquote() << QStringLiteral("Cannot read \"%1\": %2").arg(ToQString(fileName), reason);
    return false;
  }
  // The reader owns its progress handler from here on.
  this->Importer.SetProgressHandler(new ReadProgress(this));
  const aiScene* scene = nullptr;
  try
  {
    this->ReadWarnings.clear();
    scene = ModelFiles::ReadModel(this->Importer, fileName, &this->ReadWarnings);
  }
  catch (const std::exception& e) // a DeadlyImportError, or sizes from the file out of memory
  {
    qDebug() << "Assimp exception: " << e.what();
    return false;
  }

  if (!scene)
  {
    if (!this->AbortRead)
    {
      qDebug() << "Assimp failed to load: " << ToQString(fileName);
      qDebug() << "Assimp error: " << this->Importer.GetErrorString();
    }
    return false;
  }
  this->Scene = scene;
  this->PackFaceIndices();
  if (!this->ConvertScene())
  {
    this->Meshes.clear();
    this->EmbeddedTextures.clear();
    this->Properties.clear();
    this->Scene = nullptr;
    this->UnpackFaceIndices();
    this->Importer.FreeScene();
    return false;
  }
  return true;
}

//------------------------------------------------------------------------------
void AssimpImporter::PackFaceIndices()
{
  // The scene is the importer's own; only where its faces keep their indices changes.
  auto* scene = const_cast<aiScene*>(this->Scene);
  size_t total = 0;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m)
  {
    const aiMesh* mesh = scene->mMeshes[m];
    for (unsigned f = 0; f < mesh->mNumFaces; ++f)
    {
      total += mesh->mFaces[f].mNumIndices;
    }
  }
  this->FaceIndices.resize(total);
  unsigned* next = this->FaceIndices.data();
  for (unsigned m = 0; m < scene->mNumMeshes; ++m)
  {
    aiMesh* mesh = scene->mMeshes[m];
    for (unsigned f = 0; f < mesh->mNumFaces; ++f)
    {
      aiFace& face = mesh->mFaces[f];
      std::copy_n(face.mIndices, face.mNumIndices, next);
      delete[] face.mIndices;
      face.mIndices = face.mNumIndices > 0 ? next : nullptr;
      next += face.mNumIndices;
    }
  }
}

//------------------------------------------------------------------------------
// Before Assimp frees the scene, which would free each face's indices on their own.
void AssimpImporter::UnpackFaceIndices()
{
  if (this->FaceIndices.empty())
  {
    return;
  }
  if (const aiScene* scene = this->Importer.GetScene())
  {
    for (unsigned m = 0; m < scene->mNumMeshes; ++m)
    {
      aiMesh* mesh = scene->mMeshes[m];
      for (unsigned f = 0; f < mesh->mNumFaces; ++f)
      {
        mesh->mFaces[f].mIndices = nullptr;
      }
    }
  }
  std::vector<unsigned>().swap(this->FaceIndices);
}

//------------------------------------------------------------------------------
bool AssimpImporter::ConvertScene()
{
  ConversionProgress progress(this, *this->Scene);
  if (!progress.Step(0))
  {
    return false;
  }
  this->Meshes.resize(this->Scene->mNumMeshes);
  for (unsigned i = 0; i < this->Scene->mNumMeshes; ++i)
  {
    const aiMesh* mesh = this->Scene->mMeshes[i];
    const bool normalMapped = mesh->mMaterialIndex<
        this->Scene->mNumMaterials&& this->Scene->mMaterials[mesh->mMaterialIndex]->GetTextureCount(
            aiTextureType_NORMALS)> 0;
    this->Meshes[i] = this->CreateMesh(mesh, normalMapped);
    if (!progress.Step(ConversionProgress::WeightOf(mesh)))
    {
      return false;
    }
  }
  // Materials refer to the embedded textures, so those come first.
  this->EmbeddedTextures.resize(this->Scene->mNumTextures);
  for (unsigned i = 0; i < this->Scene->mNumTextures; ++i)
  {
    this->EmbeddedTextures[i] = this->CreateTexture(this->Scene->mTextures[i]);
    if (!progress.Step(ConversionProgress::WeightOf(this->Scene->mTextures[i])))
    {
      return false;
    }
  }
  this->Properties.resize(this->Scene->mNumMaterials);
  for (unsigned i = 0; i < this->Scene->mNumMaterials; ++i)
  {
    this->Properties[i] = this->CreateMaterial(this->Scene->mMaterials[i]);
  }
  return progress.Step(this->Scene->mNumMaterials);
}

//------------------------------------------------------------------------------
void AssimpImporter::ReportProgress(double fraction)
{
  this->InvokeEvent(vtkCommand::ProgressEvent, &fraction);
}

//------------------------------------------------------------------------------
void AssimpImporter::ImportActors(vtkRenderer* renderer)
{
  if (!this->Scene || !this->Scene->mRootNode || !renderer)
  {
    return;
  }
  vtkNew<vtkMatrix4x4> identity;
  qDebug() << "Scene Graph:\n------------\n";
  this->ImportNode(renderer, this->Scene->mRootNode, identity, 0);
  this->UpdateJointMatrices();
}

//------------------------------------------------------------------------------
void AssimpImporter::ImportNode(vtkRenderer* renderer, const aiNode* node,
                                vtkMatrix4x4* parentGlobal, int depth)
{
  if (!node)
  {
    return;
  }
  vtkNew<vtkMatrix4x4> local;
  ToVTKMatrix(node->mTransformation, local);
  vtkNew<vtkMatrix4x4> global;
  vtkMatrix4x4::Multiply4x4(parentGlobal, local, global);
  vtkNew<vtkActorCollection> actors;
  vtkIdType points = 0;
  vtkIdType cells = 0;

  for (unsigned i = 0; i < node->mNumMeshes; ++i)
  {
    const unsigned meshIndex = node->mMeshes[i];
    if (meshIndex >= this->Meshes.size())
    {
      continue;
    }
    vtkNew<vtkActor> actor;
    // Through New(), so that an object factory can supply the skinning mapper.
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::Take(vtkPolyDataMapper::New());
    mapper->SetInputData(this->Meshes[meshIndex]);
    mapper->SetColorModeToDirectScalars();
    actor->SetMapper(mapper);
    actor->SetUserMatrix(global);
    const unsigned materialIndex = this->Scene->mMeshes[meshIndex]->mMaterialIndex;
    if (materialIndex < this->Properties.size())
    {
      actor->SetProperty(this->Properties[materialIndex]);
    }
    points += mapper->GetInput()->GetNumberOfPoints();
    cells += mapper->GetInput()->GetNumberOfCells();
    renderer->AddActor(actor);
    actors->AddItem(actor);
  }

  const std::string name = ToString(node->mName);
  qDebug() << ToQString(name);
  if (points > 0 || cells > 0)
  {
    qDebug() << "Number of points: ";
    qDebug() << QString::number(points);
    qDebug() << "Number of cells: ";
    qDebug() << QString::number(cells);
  }
  if (name.find("Light") != std::string::npos)
  {
    qDebug() << global->GetElement(0, 0) << global->GetElement(0, 1) << global->GetElement(0, 2)
             << global->GetElement(0, 3);
  }

  // The first node of a name owns the entries.
  this->NodeActors.emplace(name, actors.Get());
  this->NodeLocalMatrices.emplace(name, local.Get());
  this->NodeGlobalMatrices.emplace(name, global.Get());

  for (unsigned i = 0; i < node->mNumChildren; ++i)
  {
    this->ImportNode(renderer, node->mChildren[i], global, depth + 1);
  }
}

//------------------------------------------------------------------------------
void AssimpImporter::UpdateNodeTransforms(const aiNode* node, vtkMatrix4x4* parentGlobal)
{
  if (!node)
  {
    return;
  }
  const std::string name = ToString(node->mName);
  const auto local = this->NodeLocalMatrices.find(name);
  if (local == this->NodeLocalMatrices.end())
  {
    return; // not imported yet
  }
  auto global = vtkSmartPointer<vtkMatrix4x4>::New();
  vtkMatrix4x4::Multiply4x4(parentGlobal, local->second, global);
  this->NodeGlobalMatrices[name] = global;
  const auto actors = this->NodeActors.find(name);
  if (actors != this->NodeActors.end())
  {
    ForEachActor(actors->second, [&](vtkActor* actor) { actor->SetUserMatrix(global); });
  }

  for (unsigned i = 0; i < node->mNumChildren; ++i)
  {
    this->UpdateNodeTransforms(node->mChildren[i], global);
  }
}

//------------------------------------------------------------------------------
void AssimpImporter::UpdateJointMatrices()
{
  for (const auto& entry : this->NodeActors)
  {
    ForEachActor(entry.second,
                 [this](vtkActor* actor) { SetJointMatrices(actor, this->NodeGlobalMatrices); });
  }
}

//------------------------------------------------------------------------------
bool AssimpImporter::GetTimeRange(vtkIdType animationIndex, double timeRange[2])
{
  const aiAnimation* animation = this->FindAnimation(animationIndex);
  timeRange[0] = 0;
  timeRange[1] = animation ? DurationInSeconds(animation) : 0;
  return animation != nullptr;
}

//------------------------------------------------------------------------------
const aiAnimation* AssimpImporter::FindAnimation(vtkIdType animationIndex) const
{
  const bool exists = this->Scene && animationIndex >= 0 &&
                      animationIndex < static_cast<vtkIdType>(this->Scene->mNumAnimations);
  return exists ? this->Scene->mAnimations[animationIndex] : nullptr;
}

//------------------------------------------------------------------------------
bool AssimpImporter::UpdateTimeStep(double timeValue, vtkHomogeneousTransform* modelTransform)
{
  const aiAnimation* animation = this->FindAnimation(this->ActiveAnimation);
  if (!animation || std::isnan(timeValue))
  {
    return true;
  }
  const double ticks = timeValue * TicksPerSecond(animation);
  for (unsigned c = 0; c < animation->mNumChannels; ++c)
  {
    const aiNodeAnim* channel = animation->mChannels[c];
    const auto local = this->NodeLocalMatrices.find(ToString(channel->mNodeName));
    if (local != this->NodeLocalMatrices.end())
    {
      EvaluateChannel(channel, ticks, local->second);
    }
  }

  vtkNew<vtkMatrix4x4> model;
  if (modelTransform)
  {
    modelTransform->GetMatrix(model);
  }
  this->UpdateNodeTransforms(this->Scene->mRootNode, model);
  this->UpdateJointMatrices();
  this->UpdateMorphTargets(animation, ticks);
  return true;
}

//------------------------------------------------------------------------------
void AssimpImporter::UpdateMorphTargets(const aiAnimation* animation, double ticks)
{
  for (unsigned c = 0; c < animation->mNumMorphMeshChannels; ++c)
  {
    const aiMeshMorphAnim* channel = animation->mMorphMeshChannels[c];
    const aiNode* node = this->Scene->mRootNode->FindNode(channel->mName);
    for (unsigned i = 0; node && i < node->mNumMeshes; ++i)
    {
      const unsigned index = node->mMeshes[i];
      if (index >= this->Meshes.size() || !this->Meshes[index])
      {
        continue;
      }
      const aiMesh* mesh = this->Scene->mMeshes[index];
      const std::vector<double> weights = MorphWeights(channel, ticks, mesh->mNumAnimMeshes);
      vtkPolyData* polyData = this->Meshes[index];
      BlendMorphTargets(mesh->mVertices, mesh->mNumVertices, mesh, &aiAnimMesh::mVertices, weights,
                        polyData->GetPoints() ? polyData->GetPoints()->GetData() : nullptr);
      BlendMorphTargets(mesh->mNormals, mesh->mNumVertices, mesh, &aiAnimMesh::mNormals, weights,
                        polyData->GetPointData()->GetNormals());
      polyData->Modified();
    }
  }
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkPolyData> AssimpImporter::CreateMesh(const aiMesh* mesh, bool normalMapped)
{
  auto polyData = vtkSmartPointer<vtkPolyData>::New();
  const bool hasVertices = mesh->mNumVertices > 0;
  AddPoints(mesh, polyData);
  if (mesh->HasNormals() && hasVertices)
  {
    polyData->GetPointData()->SetNormals(MeshVectors(mesh, "Normal", mesh->mNormals));
  }
  const bool hasUVSet = mesh->HasTextureCoords(0);
  if (hasUVSet && hasVertices && mesh->mNumUVComponents[0] == 2)
  {
    AddTextureCoordinates(mesh, polyData);
  }
  const bool hasTangentFrame = mesh->HasTangentsAndBitangents();
  if (hasTangentFrame && hasVertices)
  {
    polyData->GetPointData()->SetTangents(
        CopyVectors("Tangents", mesh->mTangents, mesh->mNumVertices));
  }
  if (mesh->HasVertexColors(0) && hasVertices)
  {
    AddColors(mesh, polyData);
  }
  AddCells(mesh, polyData);
  if (mesh->HasBones())
  {
    AddSkinning(mesh, polyData);
  }
  if (normalMapped && mesh->HasNormals() && hasVertices && hasUVSet && !hasTangentFrame)
  {
    return GenerateTangents(polyData);
  }
  return polyData;
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkTexture> AssimpImporter::CreateTexture(const aiTexture* texture)
{
  QString error;
  const vtkSmartPointer<vtkImageData> image =
      texture->mHeight > 0
          ? CopyTexels(texture, error)
          : TextureImage::Decode(
                QByteArray::fromRawData(reinterpret_cast<const char*>(texture->pcData),
                                        texture->mWidth),
                error);
  if (!image)
  {
    ReportUndecodedImage(EmbeddedImageName(texture), error);
    return nullptr;
  }
  return TextureOf(image);
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkTexture> AssimpImporter::GetTexture(const char* path, bool sRGB)
{
  vtkSmartPointer<vtkTexture> texture;
  const int embedded = this->FindEmbeddedTexture(path);
  if (embedded < 0)
  {
    texture = this->ReadTextureBeside(path);
  }
  else if (path[0] == '*')
  {
    texture = this->EmbeddedTextures[embedded];
  }
  else if (vtkTexture* shared = this->EmbeddedTextures[embedded])
  {
    // Found by name, each slot gets a texture of its own over the decoded image.
    texture = TextureOf(shared->GetInput());
  }
  if (!texture)
  {
    return nullptr;
  }
  texture->MipmapOn();
  texture->InterpolateOn();
  texture->SetColorModeToDirectScalars();
  texture->SetUseSRGBColorSpace(sRGB);
  return texture;
}

//------------------------------------------------------------------------------
int AssimpImporter::FindEmbeddedTexture(const char* path) const
{
  const aiTexture* found = ModelFiles::FindEmbeddedTexture(this->Scene, path);
  const long count = static_cast<long>(this->EmbeddedTextures.size());
  for (long i = 0; found && i < count; ++i)
  {
    if (this->Scene->mTextures[i] == found)
    {
      return static_cast<int>(i);
    }
  }
  return -1;
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkTexture> AssimpImporter::ReadTextureBeside(const char* path)
{
  const std::string full = ModelFiles::FindTextureFile(this->FileName, path);
  if (full.empty())
  {
    const std::string dir = vtksys::SystemTools::GetFilenamePath(this->FileName);
    qDebug() << "Cannot find texture: "
             << ToQString(vtksys::SystemTools::CollapseFullPath(
                    vtksys::SystemTools::GetFilenameName(path), dir));
    return nullptr;
  }
  // Materials often name one image in several slots: it is decoded, or reported, once.
  auto known = this->ImagesBeside.find(full);
  if (known == this->ImagesBeside.end())
  {
    QString error;
    vtkSmartPointer<vtkImageData> image = TextureImage::Read(ToQString(full), error);
    if (!image)
    {
      ReportUndecodedImage(ToQString(full), error);
    }
    known = this->ImagesBeside.emplace(full, image).first;
  }
  return known->second ? TextureOf(known->second) : nullptr;
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkProperty> AssimpImporter::CreateMaterial(const aiMaterial* material)
{
  auto property = vtkSmartPointer<vtkProperty>::New();
  int shadingModel = 0;
  if (material->Get(AI_MATKEY_SHADING_MODEL, shadingModel) == aiReturn_SUCCESS)
  {
    ApplyShadingModel(shadingModel, property);
  }
  float opacity = 1;
  if (material->Get(AI_MATKEY_OPACITY, opacity) == aiReturn_SUCCESS)
  {
    property->SetOpacity(opacity);
  }
  aiColor4D colour;
  if (material->Get(AI_MATKEY_COLOR_DIFFUSE, colour) == aiReturn_SUCCESS)
  {
    property->SetColor(colour.r, colour.g, colour.b);
  }
  if (material->Get(AI_MATKEY_COLOR_SPECULAR, colour) == aiReturn_SUCCESS)
  {
    property->SetSpecularColor(colour.r, colour.g, colour.b);
  }
  if (material->Get(AI_MATKEY_COLOR_AMBIENT, colour) == aiReturn_SUCCESS)
  {
    property->SetAmbientColor(colour.r, colour.g, colour.b);
  }

  for (const TextureSlot& slot : TextureSlots)
  {
    aiString path;
    if (material->GetTexture(slot.Type, 0, &path) == aiReturn_SUCCESS)
    {
      if (vtkSmartPointer<vtkTexture> texture = this->GetTexture(path.C_Str(), slot.SRGB))
      {
        property->SetTexture(slot.Name, texture);
      }
    }
  }
  return property;
}

//------------------------------------------------------------------------------
void AssimpImporter::ToVTKMatrix(const aiMatrix4x4& in, vtkMatrix4x4* out)
{
  for (unsigned i = 0; i < 4; ++i)
  {
    for (unsigned j = 0; j < 4; ++j)
    {
      out->SetElement(static_cast<int>(i), static_cast<int>(j), in[i][j]);
    }
  }
}

//------------------------------------------------------------------------------
void AssimpImporter::ToAssimpMatrix(vtkMatrix4x4* in, aiMatrix4x4& out)
{
  for (unsigned i = 0; i < 4; ++i)
  {
    for (unsigned j = 0; j < 4; ++j)
    {
      out[i][j] = static_cast<ai_real>(in->GetElement(static_cast<int>(i), static_cast<int>(j)));
    }
  }
}
