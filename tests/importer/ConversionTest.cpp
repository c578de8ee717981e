// Node tables and actors of the static fixture scene, single meshes, materials, textures:
//   Root
//   ├── Left   T(-2, 0, 0)          cube    (material Red)
//   ├── Right  T(2, 0, 0) Rz(90°)   cube    (shared with Left)
//   ├── Group  T(0, 3, 0)           no mesh
//   │   └── Twin  S(2)              pyramid (material Blue)
//   └── Twin   T(0, -3, 0)          pyramid (shared; glTF and Collada rename this one)
// The texture fixtures' image is 4x4 with one colour per quadrant (red, green over blue,
// white), embedded in textured_embedded and beside textured_external, whose second
// material names a missing image.

#include "ImporterTest.h"

#include <vtkCellArray.h>
#include <vtkIdList.h>
#include <vtkMapper.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkProperty.h>

#include <cstring>
#include <numeric>

using namespace ML::Test;

namespace
{
TEST(SceneGraph, NodeTablesSharedMeshesAndPlacementInEveryFormat)
{
  for (const std::string extension : {".glb", ".gltf", ".fbx", ".dae"})
  {
    SCOPED_TRACE(extension);
    Model model(fixture("static_nodes" + extension));
    ASSERT_TRUE(model.read);
    const std::string root = model->Scene->mRootNode->mName.C_Str();
    for (const auto& [name, count] :
         {std::pair{root, 0}, {"Left", 1}, {"Right", 1}, {"Group", 0}, {"Twin", 1}})
      EXPECT_TRUE(model.actors(name) && model.actors(name)->GetNumberOfItems() == count &&
                  model.local(name) && model.global(name))
          << name;
    EXPECT_EQ(model.renderer->GetActors()->GetNumberOfItems(), 4);

    vtkActor *left = model.actor("Left"), *right = model.actor("Right");
    EXPECT_EQ(left->GetMapper()->GetInput(), right->GetMapper()->GetInput());
    EXPECT_EQ(left->GetProperty(), right->GetProperty());
    EXPECT_TRUE(near(trs({2, 0, 0}, 90), right->GetUserMatrix(), 1e-6));
    // The first "Twin" in pre-order, under Group, owns the entries.
    EXPECT_TRUE(near(trs({0, 3, 0}, 0, {0, 0, 1}, 2), model.global("Twin"), 1e-6));
    EXPECT_TRUE(near(trs({0, 0, 0}, 0, {0, 0, 1}, 2), model.local("Twin"), 1e-6));
  }
}

template <typename T>
T* copyOf(const std::vector<T>& values)
{
  return std::copy(values.begin(), values.end(), new T[values.size()]) - values.size();
}

// Each bone lists (vertex, weight) pairs.
std::unique_ptr<aiMesh> makeMesh(const std::vector<aiVector3D>& points,
                                 const std::vector<std::vector<unsigned>>& faces,
                                 const std::vector<std::vector<aiVertexWeight>>& bones = {})
{
  auto mesh = std::make_unique<aiMesh>();
  mesh->mNumVertices = static_cast<unsigned>(points.size());
  mesh->mVertices = points.empty() ? nullptr : copyOf(points);
  mesh->mNumFaces = static_cast<unsigned>(faces.size());
  mesh->mFaces = new aiFace[faces.size()];
  for (std::size_t f = 0; f < faces.size(); ++f)
  {
    mesh->mFaces[f].mNumIndices = static_cast<unsigned>(faces[f].size());
    mesh->mFaces[f].mIndices = faces[f].empty() ? nullptr : copyOf(faces[f]);
  }
  mesh->mNumBones = static_cast<unsigned>(bones.size());
  mesh->mBones = bones.empty() ? nullptr : new aiBone*[bones.size()];
  for (std::size_t b = 0; b < bones.size(); ++b)
  {
    mesh->mBones[b] = new aiBone;
    mesh->mBones[b]->mNumWeights = static_cast<unsigned>(bones[b].size());
    mesh->mBones[b]->mWeights = copyOf(bones[b]);
  }
  return mesh;
}

// Stored tangents are kept only with the whole tangent frame; otherwise they are
// generated on triangles from 2-component texture coordinates. Skinning arrays and the
// other attributes survive either way.
TEST(MeshConversion, AttributesSkinningAndTheTangentRule)
{
  // Tangents, bitangents, texture coordinate components (0: none), polygons, and the X
  // of the first tangent (-1: none).
  using Case = std::tuple<bool, bool, unsigned, int, double>;
  for (const auto& [tangents, bitangents, uvs, polys, tangentX] :
       {Case{true, true, 2, 1, 0}, Case{true, false, 2, 2, 1}, Case{false, false, 0, 1, -1},
        Case{false, false, 3, 1, -1}})
  {
    SCOPED_TRACE(uvs * 10 + tangents + bitangents);
    const std::vector<aiVector3D> square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    // Vertex 0 is listed by five bones: the fifth pair is dropped. Vertex 3 has none;
    // the mesh has no vertex 9.
    auto mesh = makeMesh(square, {{0, 1, 2, 3}},
                         {{{0, .1f}, {1, 1}},
                          {{0, .2f}, {2, .75f}},
                          {{0, .3f}, {2, .25f}},
                          {{0, .3f}, {9, 1}},
                          {{0, .1f}}});
    mesh->mNormals = copyOf(std::vector<aiVector3D>(4, {0, 0, 1}));
    mesh->mColors[0] = copyOf(std::vector<aiColor4D>(4, {0.2f, 0.4f, 0.6f, 0.25f}));
    // Stored tangents point along +Z; generated ones follow the planar mapping, +X.
    mesh->mTangents = tangents ? copyOf(std::vector<aiVector3D>(4, {0, 0, 1})) : nullptr;
    mesh->mBitangents = bitangents ? copyOf(std::vector<aiVector3D>(4, {0, 1, 0})) : nullptr;
    mesh->mTextureCoords[0] = uvs ? copyOf(square) : nullptr;
    mesh->mNumUVComponents[0] = uvs;
    vtkSmartPointer<vtkPolyData> polyData = vtkNew<AssimpImporter>()->CreateMesh(mesh.get());

    ASSERT_EQ(polyData->GetNumberOfPoints(), 4);
    EXPECT_EQ(polyData->GetNumberOfPolys(), polys);
    vtkPointData* pd = polyData->GetPointData();
    ASSERT_TRUE(pd->GetNormals() && pd->GetScalars());
    EXPECT_FLOAT_EQ(pd->GetScalars()->GetComponent(0, 3), 0.25f);
    EXPECT_EQ(pd->GetTCoords() != nullptr, uvs == 2);
    EXPECT_NEAR(pd->GetTangents() ? pd->GetTangents()->GetComponent(0, 0) : -1, tangentX, 1e-6);
    // Without a normal map to serve, none are made (stored ones are kept).
    vtkSmartPointer<vtkPolyData> plain = vtkNew<AssimpImporter>()->CreateMesh(mesh.get(), false);
    EXPECT_EQ(plain->GetPointData()->GetTangents() != nullptr, tangents && bitangents);

    vtkDataArray* skin[] = {pd->GetArray("JOINTS_0"), pd->GetArray("WEIGHTS_0")};
    ASSERT_TRUE(skin[0] && skin[1]);
    // Joints, then weights, of vertices 0, 2 and 3: the four weights kept add up to one
    // (0.9 in the file); no weight stays no weight.
    const float expected[3][8] = {{0, 1, 2, 3, .1f / .9f, .2f / .9f, .3f / .9f, .3f / .9f},
                                  {1, 2, 0, 0, .75f, .25f, 0, 0},
                                  {0, 0, 0, 0, 0, 0, 0, 0}};
    for (int v = 0; v < 3; ++v)
      for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(skin[i / 4]->GetComponent(v + (v > 0), i % 4), expected[v][i], 1e-6)
            << v << " " << i;
  }
}

TEST(MeshConversion, FacesOfAnySizeBecomeVertexLineAndPolygonCells)
{
  // A polygon beyond 32,768 indices is kept whole; faces naming a vertex past the last
  // are left out.
  const unsigned n = 40000;
  std::vector<unsigned> big(n);
  std::iota(big.begin(), big.end(), 0u);
  auto mesh = makeMesh(std::vector<aiVector3D>(n),
                       {{2}, {n}, {0, 1}, big, {3}, {}, {3, 0}, {0, n, 1}, {1, 2, 3}, {n + 1, 0}});
  vtkSmartPointer<vtkPolyData> polyData = vtkNew<AssimpImporter>()->CreateMesh(mesh.get());
  auto cell = [](vtkCellArray* cells, vtkIdType id)
  {
    vtkNew<vtkIdList> ids;
    cells->GetCellAtId(id, ids);
    return std::vector<vtkIdType>(ids->begin(), ids->end());
  };
  ASSERT_EQ(polyData->GetNumberOfVerts() + polyData->GetNumberOfLines(), 4);
  EXPECT_EQ(cell(polyData->GetVerts(), 1), (std::vector<vtkIdType>{3}));
  EXPECT_EQ(cell(polyData->GetLines(), 1), (std::vector<vtkIdType>{3, 0}));
  ASSERT_EQ(polyData->GetNumberOfPolys(), 3);
  EXPECT_EQ(cell(polyData->GetPolys(), 0), std::vector<vtkIdType>(big.begin(), big.end()));
  EXPECT_TRUE(cell(polyData->GetPolys(), 1).empty());
  EXPECT_EQ(cell(polyData->GetPolys(), 2), (std::vector<vtkIdType>{1, 2, 3}));
  EXPECT_EQ(polyData->GetPointData()->GetNumberOfArrays(), 0) << "no bones, no skinning arrays";

  // A mesh without vertices: its faces and its bone's weight name none that exists.
  auto hollow = makeMesh({}, {{0, 1, 2}}, {{{0, 1.f}}});
  vtkSmartPointer<vtkPolyData> nothing = vtkNew<AssimpImporter>()->CreateMesh(hollow.get());
  EXPECT_EQ(nothing->GetNumberOfPoints(), 0);
  EXPECT_EQ(nothing->GetNumberOfCells(), 0);

  // Faces packed in one run of indices, as the importer keeps a read scene's, are the
  // cells in place; with a face to leave out they are copied as above.
  for (const unsigned last : {3u, n})
  {
    std::vector<unsigned> packed = {0, 1, 2, 0, 2, last};
    auto sheet = makeMesh(std::vector<aiVector3D>(4), {{0, 1, 2}, {0, 2, last}});
    for (unsigned f = 0; f < 2; ++f)
    {
      delete[] sheet->mFaces[f].mIndices;
      sheet->mFaces[f].mIndices = packed.data() + 3 * f;
    }
    vtkSmartPointer<vtkPolyData> cells = vtkNew<AssimpImporter>()->CreateMesh(sheet.get(), false);
    for (unsigned f = 0; f < 2; ++f)
      sheet->mFaces[f].mIndices = nullptr;
    vtkCellArray* polys = cells->GetPolys();
    ASSERT_EQ(polys->GetNumberOfCells(), last == 3 ? 2 : 1);
    EXPECT_EQ(cell(polys, polys->GetNumberOfCells() - 1),
              (last == 3 ? std::vector<vtkIdType>{0, 2, 3} : std::vector<vtkIdType>{0, 1, 2}));
    EXPECT_EQ(polys->GetConnectivityArray()->GetVoidPointer(0) == packed.data(), last == 3);
  }
}

// The colours at (0, 0), (3, 0), (0, 3) and (3, 3), from the bottom-left corner.
std::vector<int> corners(vtkTexture* texture)
{
  vtkImageData* image = imageOf(texture);
  std::vector<int> rgb;
  for (int i = 0; image && i < 12; ++i)
    rgb.push_back(int(image->GetScalarComponentAsDouble(i / 3 % 2 * 3, i / 6 * 3, 0, i % 3)));
  return rgb;
}
const std::vector<int> Quadrants = {0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 0};

bool configured(vtkTexture* t, bool sRGB)
{
  return t && t->GetMipmap() && t->GetInterpolate() && t->GetUseSRGBColorSpace() == sRGB &&
         t->GetColorMode() == VTK_COLOR_MODE_DIRECT_SCALARS;
}

// Raw 2x1 texels, or an image file's bytes as a model embeds them.
std::unique_ptr<aiTexture> makeTexture(const char* hint, const QByteArray& file = {})
{
  auto texture = std::make_unique<aiTexture>();
  std::strncpy(texture->achFormatHint, hint, HINTMAXTEXTURELEN - 1);
  texture->mWidth = file.isEmpty() ? 2 : static_cast<unsigned>(file.size());
  texture->mHeight = file.isEmpty() ? 1 : 0;
  texture->pcData = new aiTexel[file.size() / 4 + 2]{{10, 20, 30, 40}, {50, 60, 70, 80}};
  std::memcpy(texture->pcData, file.constData(), file.size());
  return texture;
}

// The quadrant image as a 24-bit TGA, rows stored bottom-up or top-down, raw or
// run-length encoded (one run per half row).
QByteArray quadrantTga(bool topDown, bool runLength)
{
  QByteArray tga(18, '\0');
  tga[2] = runLength ? 10 : 2;
  tga[12] = tga[14] = 4;
  tga[16] = 24;
  tga[17] = topDown ? 0x20 : 0;
  const char bgr[4][3] = {{'\xff', 0, 0}, {'\xff', '\xff', '\xff'}, {0, 0, '\xff'}, {0, '\xff', 0}};
  for (int half = 0; half < 8; ++half) // half rows, in the order stored
  {
    const char* colour = bgr[(topDown ? 3 - half / 2 : half / 2) / 2 * 2 + half % 2];
    runLength ? tga.append('\x81').append(colour, 3) : tga.append(colour, 3).append(colour, 3);
  }
  return tga;
}

TEST(Materials, ShadingColoursAndOpacity)
{
  aiMaterial material;
  const aiColor4D red(0.8f, 0.1f, 0.2f, 0.5f), grey(0.3f, 0.3f, 0.3f, 1);
  int shading = aiShadingMode_NoShading;
  material.AddProperty(&shading, 1, AI_MATKEY_SHADING_MODEL);
  material.AddProperty(&red, 1, AI_MATKEY_COLOR_DIFFUSE);
  vtkSmartPointer<vtkProperty> property = vtkNew<AssimpImporter>()->CreateMaterial(&material);
  EXPECT_FALSE(property->GetLighting());
  EXPECT_FLOAT_EQ(property->GetSpecularColor()[1], 0.1f) << "specular follows diffuse";
  EXPECT_FLOAT_EQ(property->GetAmbientColor()[2], 0.2f);
  EXPECT_EQ(property->GetOpacity(), 1) << "diffuse alpha is ignored";
  const float opacity = 0.4f;
  shading = aiShadingMode_Flat;
  material.AddProperty(&shading, 1, AI_MATKEY_SHADING_MODEL);
  material.AddProperty(&opacity, 1, AI_MATKEY_OPACITY);
  material.AddProperty(&grey, 1, AI_MATKEY_COLOR_SPECULAR);
  property = vtkNew<AssimpImporter>()->CreateMaterial(&material);
  EXPECT_EQ(property->GetInterpolation(), VTK_FLAT);
  EXPECT_FLOAT_EQ(property->GetSpecularColor()[0], 0.3f);
  EXPECT_FLOAT_EQ(property->GetOpacity(), 0.4f);
}

// Raw texels only for lower-case four-channel hints, copied as stored (b, g, r, a).
// Compressed images by their bytes, not the hint; a damaged or cut one gives no texture
// and one line that names it and says why.
TEST(Textures, EmbeddedImagesDecodeOrAreReported)
{
  vtkNew<AssimpImporter> importer;
  const char* hints[] = {"rgba8888", "argb8888", "bgra5650", "rgb888", "RGBA8888", "rgbax888"};
  for (int i = 0; i < 6; ++i)
  {
    vtkSmartPointer<vtkTexture> texture = importer->CreateTexture(makeTexture(hints[i]).get());
    vtkImageData* image = imageOf(texture);
    EXPECT_EQ(image ? image->GetScalarComponentAsDouble(1, 0, 0, 3) : 0, i < 3 ? 80 : 0)
        << hints[i];
  }

  const QByteArray png = fileBytes(fixture("quadrants_beside.png"));
  const QByteArray tga = quadrantTga(false, false), rle = quadrantTga(true, true);
  const QByteArrayList good = {png, tga, quadrantTga(true, false), quadrantTga(false, true), rle};
  const QByteArrayList bad = {damagePng(png), png.left(png.size() / 2), tga.chopped(1),
                              rle.chopped(4), "not an image"};
  for (const QByteArray& file : good + bad)
  {
    MessageLog log;
    const bool decodes = good.contains(file);
    vtkSmartPointer<vtkTexture> texture = importer->CreateTexture(makeTexture("xyz", file).get());
    EXPECT_EQ(corners(texture), decodes ? Quadrants : std::vector<int>()) << file.size();
    EXPECT_EQ(log.count("Cannot decode texture \"embedded xyz image\": "), decodes ? 0 : 1);
  }
}

// Embedded: one texture shared by index, configured by the slot that asks last (base
// colour, sRGB, after diffuse). Beside the file: a copy per slot; "../maps/missing.png"
// is tried again as "missing.png" beside the file and reported. A damaged image, embedded
// or beside the model, leaves its material untextured and is reported once, by name.
TEST(Textures, FixturesEmbeddedAndBesideTheFile)
{
  FixtureFolder damaged;
  const QString beside = damaged.filePath("quadrants_beside.png");
  ASSERT_TRUE(writeFile(beside, damagePng(fileBytes(beside.toStdString()))));
  for (const std::string name :
       {"textured_embedded.glb", "textured_embedded.gltf", "textured_external.glb",
        "textured_external.gltf", "textured_external.fbx", "textured_external.dae"})
  {
    SCOPED_TRACE(name);
    MessageLog log;
    Model model(fixture(name));
    ASSERT_TRUE(model.read);
    const bool embedded = name.find("embedded") != std::string::npos,
               gltf = name.find(".gl") != std::string::npos;
    vtkTexture* diffuse = model.actor("Box")->GetProperty()->GetTexture("diffuseTex");
    vtkTexture* albedo = model.actor("Box")->GetProperty()->GetTexture("albedoTex");
    EXPECT_EQ(corners(diffuse), Quadrants);
    EXPECT_TRUE(configured(diffuse, embedded));
    EXPECT_EQ(corners(albedo), gltf ? Quadrants : std::vector<int>());
    EXPECT_TRUE(!gltf || configured(albedo, true));
    // Textured but not normal-mapped: no tangents are made for it.
    EXPECT_EQ(model->Meshes[0]->GetPointData()->GetTangents(), nullptr);
    const QString last = QDir(fixtureFile("")).filePath("missing.png");
    EXPECT_EQ(log.lines().filter("Cannot").value(0),
              embedded ? "" : "Cannot find texture:  \"" + last + "\"");
    EXPECT_FALSE(!embedded && model.actor("LostBox")->GetProperty()->GetTexture("diffuseTex"));
    if (name == "textured_embedded.gltf") // a data URI, which damagePng does not reach
      continue;
    const QString copy = damaged.filePath(QString::fromStdString(name));
    ASSERT_TRUE(writeFile(copy, damagePng(fileBytes(fixture(name)))));
    log.clear();
    Model broken(copy.toStdString());
    ASSERT_TRUE(broken.read && broken.actor("Box"));
    EXPECT_EQ(log.count("Cannot decode texture"), 1) << log.lines().join("\n").toStdString();
    EXPECT_EQ(
        log.count("Cannot decode texture \"" + (embedded ? "quadrants.png" : beside) + "\": "), 1);
    EXPECT_FALSE(broken.actor("Box")->GetProperty()->GetTexture("diffuseTex") ||
                 broken.actor("Box")->GetProperty()->GetTexture("albedoTex"));
  }
}
} // namespace
