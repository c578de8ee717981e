// Animation of the skinned fixtures, files shaped like users' (the fixture tool's scenes and
// the Assimp test set), and broken, truncated and empty files. The skinned fixture:
// Root → Body (a tube from y = 0 to 3, rings at y = 0, 1, 2, 3 weighted Joint0 |
// Joint0+Joint1 | Joint1+Joint2 | Joint2) and Root → Armature → Joint0 → Joint1 (0, 1, 0)
// → Joint2 (0, 1, 0); inverse bind matrices translate by 0, -1 and -2 along y. Clip
// "Bend", keys at 0, 1 and 2 s: Joint0 rotation q = Ry(30°), then -q at 2 s (Ry(30°) all
// along); Joint1 rotation identity, Rz(90°), identity; Joint2 translation (0, 1, 0) →
// (0, 2, 0), rotation identity → Rx(90°), scale 1 → 2. The Assimp-format variant has a
// tick rate of 0, a bone "GhostBone" of no node, a channel of a missing node "Ghost",
// and Joint2 keyed by scale (Assimp reads one stored position and rotation key with it).

#include <vtkMapper.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include "ImporterTest.h"
#include "OpenAndPlay.h"

#include <vtkProperty.h>

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <assimp/anim.h>

#include <functional>

using namespace ML::Test;

namespace
{
constexpr double Tol = 1e-5;
const Matrix Joint0 = trs({0, 0, 0}, 30, {0, 1, 0});
const auto joint1 = [](double degrees) { return trs({0, 1, 0}, degrees); };
const auto joint2 = [](double y, double degrees, double s) {
  return trs({0, y, 0}, degrees, {1, 0, 0}, s);
};

TEST(Animation, PosesAtKeysBetweenKeysBeyondThemAndWithoutKeys)
{
  for (const std::string extension : {".fbx", ".dae", ".glb", ".gltf"})
  {
    SCOPED_TRACE(extension);
    Model model(fixture("skinned" + extension));
    ASSERT_TRUE(model.read);
    vtkActor* body = model.actor("Body");
    const std::vector<Matrix> bind = jointMatrices(body);
    EXPECT_TRUE(bind.size() == 3 &&
                std::all_of(bind.begin(), bind.end(),
                            [](const Matrix& m) { return near(Identity, m, Tol); }));
    if (extension[1] != 'g') // Assimp's FBX and Collada round trips do not keep the keys
      continue;
    double range[2] = {-1, -1};
    EXPECT_TRUE(model->GetTimeRange(0, range) && range[0] == 0 && std::abs(range[1] - 2) < 1e-9);
    // Time, Joint1's angle, Joint2's height, angle and scale.
    for (const auto& [t, angle1, y2, angle2, scale2] : {std::tuple{1.0, 90.0, 1.5, 45.0, 1.5},
                                                        {2.0, 0.0, 2.0, 90.0, 2.0},
                                                        {7.0, 0.0, 2.0, 90.0, 2.0},
                                                        {0.5, 45.0, 1.25, 22.5, 1.25},
                                                        {1.5, 45.0, 1.75, 67.5, 1.75},
                                                        {-3.0, 0.0, 1.0, 0.0, 1.0}})
    {
      model.poseAt(t);
      EXPECT_TRUE(near(Joint0, model.local("Joint0"), Tol)) << t;
      EXPECT_TRUE(near(joint1(angle1), model.local("Joint1"), Tol)) << t;
      EXPECT_TRUE(near(joint2(y2, angle2, scale2), model.local("Joint2"), Tol)) << t;
    }

    model.poseAt(1);
    const Matrix global1 = multiply(Joint0, joint1(90));
    EXPECT_TRUE(near(multiply(global1, joint2(1.5, 45, 1.5)), model.global("Joint2"), Tol));
    // Joint matrix = (mesh node global)^-1 × bone global × inverse bind matrix.
    EXPECT_TRUE(near(multiply(global1, trs({0, -1, 0})), jointMatrices(body).at(1), Tol));

    // The model transform places actors and globals but leaves joint matrices.
    const std::vector<Matrix> unmoved = jointMatrices(body);
    vtkNew<vtkTransform> placement;
    placement->Translate(5, 0, 0);
    placement->RotateZ(30);
    model->UpdateTimeStep(1, placement);
    EXPECT_TRUE(near(elements(placement->GetMatrix()), body->GetUserMatrix(), Tol));
    EXPECT_TRUE(near(unmoved[2], jointMatrices(body)[2], Tol));

    // An empty key list keeps the node's stored transform of that kind (Assimp fills
    // them while reading, so they are emptied here); no active clip changes nothing.
    model.poseAt(2); // Joint2 = T(0, 2, 0) Rx(90°) S(2)
    for (unsigned c = 0; c < model->Scene->mAnimations[0]->mNumChannels; ++c)
    {
      aiNodeAnim* channel = model->Scene->mAnimations[0]->mChannels[c];
      const bool joint2 = std::string(channel->mNodeName.C_Str()) == "Joint2";
      channel->mNumPositionKeys = joint2 ? 0 : channel->mNumPositionKeys;
      channel->mNumRotationKeys = joint2 ? 0 : channel->mNumRotationKeys;
    }
    model.poseAt(1);
    EXPECT_TRUE(near(joint2(2, 90, 1.5), model.local("Joint2"), Tol));
    model->ActiveAnimation = -1;
    EXPECT_TRUE(model->UpdateTimeStep(0, placement));
    EXPECT_TRUE(near(Identity, body->GetUserMatrix(), 0));
    EXPECT_TRUE(near(joint1(90), model.local("Joint1"), Tol));
  }
}

TEST(Animation, ZeroTickRateScaleOnlyChannelsAndMissingNodes)
{
  MessageLog log;
  Model model(fixture("skinned_odd.assbin"));
  ASSERT_TRUE(model.read);
  ASSERT_EQ(model->Scene->mAnimations[0]->mTicksPerSecond, 0);
  double range[2];
  model->GetTimeRange(0, range);
  EXPECT_EQ(range[1], 2) << "seconds count as ticks";
  model.poseAt(0.5);
  EXPECT_TRUE(near(joint1(45), model.local("Joint1"), Tol));
  model.poseAt(1);
  EXPECT_TRUE(near(joint2(1, 0, 1.5), model.local("Joint2"), Tol));
  EXPECT_EQ(model->NodeLocalMatrices.count("Ghost"), 0u);

  // Reported at the import and at each update, and never entered in the table.
  EXPECT_EQ(log.count("Cannot find global matrix of bone  \"GhostBone\""), 3);
  EXPECT_EQ(model->NodeGlobalMatrices.count("GhostBone"), 0u);
  const std::vector<Matrix> matrices = jointMatrices(model.actor("Body"));
  ASSERT_EQ(matrices.size(), 4u);
  // Without a global matrix: (mesh node global)^-1 × inverse bind matrix.
  EXPECT_TRUE(near(Identity, matrices[3], Tol));
  EXPECT_FALSE(near(Identity, matrices[1], Tol));
}

// One skinned mesh drawn by two nodes: each actor gets joint matrices of its own,
// taking its own placement out again, so both copies follow the one skeleton.
TEST(Animation, ASkinSharedByTwoNodesGivesEachActorItsOwnJointMatrices)
{
  Model model(fixture("arm_shared_skin.assbin"));
  ASSERT_TRUE(model.read);
  model.poseAt(0.6);
  for (const char* node : {"Arm", "ArmCopy"})
  {
    vtkActor* actor = model.actor(node);
    ASSERT_NE(actor, nullptr) << node;
    const std::vector<Matrix> joints = jointMatrices(actor);
    ASSERT_EQ(joints.size(), 3u);
    Matrix meshInverse;
    vtkMatrix4x4::Invert(actor->GetUserMatrix()->GetData(), meshInverse.data());
    const Matrix bone = elements(model.global("Bone_002"));
    const Matrix inverseBind = trs({0, -2, 0});
    EXPECT_TRUE(near(multiply(meshInverse, multiply(bone, inverseBind)), joints[2], Tol)) << node;
  }
  EXPECT_FALSE(
      near(jointMatrices(model.actor("Arm"))[2], jointMatrices(model.actor("ArmCopy"))[2], 1e-3));
}

// A clip keying morph weights reshapes the mesh: at a key, and halfway between two,
// every vertex sits where the file's targets and weights put it.
TEST(Animation, MorphTargetsFollowTheirKeyedWeights)
{
  Model model(
      assimpModel("glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf"));
  ASSERT_TRUE(model.read);
  const aiMesh* mesh = model->Scene->mMeshes[0];
  const aiAnimation* clip = model->Scene->mAnimations[0];
  const aiMeshMorphAnim* channel = clip->mMorphMeshChannels[0];
  ASSERT_TRUE(mesh->mNumAnimMeshes == 2 && channel->mNumKeys > 61);
  vtkPoints* drawn =
      vtkPolyData::SafeDownCast(model.actor("AnimatedMorphCube")->GetMapper()->GetInput())
          ->GetPoints();
  const auto weightOf = [&](unsigned key, unsigned target)
  {
    const aiMeshMorphKey& k = channel->mKeys[key];
    for (unsigned i = 0; i < k.mNumValuesAndWeights; ++i)
      if (k.mValues[i] == target)
        return k.mWeights[i];
    return 0.0;
  };
  double largest = 0;
  for (const double key : {40.0, 60.5})
  {
    const unsigned before = static_cast<unsigned>(key), after = before + (key > before);
    model.poseAt((channel->mKeys[before].mTime + channel->mKeys[after].mTime) / 2 /
                 clip->mTicksPerSecond);
    for (unsigned v = 0; v < mesh->mNumVertices; ++v)
    {
      aiVector3D expected = mesh->mVertices[v];
      for (unsigned t = 0; t < 2; ++t)
        expected += static_cast<float>((weightOf(before, t) + weightOf(after, t)) / 2) *
                    (mesh->mAnimMeshes[t]->mVertices[v] - mesh->mVertices[v]);
      const double* point = drawn->GetPoint(v);
      EXPECT_NEAR((aiVector3D(point[0], point[1], point[2]) - expected).Length(), 0, 1e-5) << v;
      largest = std::max(largest, double((expected - mesh->mVertices[v]).Length()));
    }
  }
  EXPECT_GT(largest, 0.001) << "the keys chosen move the cube";
}

// Before a read, with clips the scene does not have and at NaN times nothing changes;
// infinite times hold the end keys; tick rates and durations that are not positive
// numbers are clamped.
TEST(Animation, ValuesOutsideTheSceneChangeNothingOrAreClamped)
{
  vtkNew<AssimpImporter> unread;
  vtkNew<vtkRenderer> renderer;
  unread->ImportActors(renderer);
  EXPECT_TRUE(unread->UpdateTimeStep(1, nullptr));
  double range[2] = {-1, -1};
  EXPECT_FALSE(unread->GetTimeRange(0, range));
  EXPECT_TRUE(range[0] == 0 && range[1] == 0);
  EXPECT_EQ(renderer->GetActors()->GetNumberOfItems(), 0);

  Model model(fixture("skinned.glb"));
  ASSERT_TRUE(model.read);
  model.poseAt(1);
  for (const vtkIdType clip : {vtkIdType(1), vtkIdType(-2), vtkIdType(1) << 40})
  {
    model->ActiveAnimation = clip;
    model.poseAt(2);
    EXPECT_TRUE(near(joint1(90), model.local("Joint1"), Tol)) << clip;
    range[1] = -1;
    EXPECT_FALSE(model->GetTimeRange(clip, range));
    EXPECT_TRUE(range[0] == 0 && range[1] == 0) << clip;
  }
  model->ActiveAnimation = 0;
  model.poseAt(std::nan(""));
  EXPECT_TRUE(near(joint1(90), model.local("Joint1"), Tol));
  model.poseAt(INFINITY);
  EXPECT_TRUE(near(joint2(2, 90, 2), model.local("Joint2"), Tol));
  model.poseAt(-INFINITY);
  EXPECT_TRUE(near(joint2(1, 0, 1), model.local("Joint2"), Tol));
  vtkNew<vtkTransform> placement;
  placement->Translate(0, 0, 4);
  model->UpdateTimeStep(1, placement);
  model->UpdateTimeStep(1, nullptr);
  EXPECT_TRUE(near(Identity, model.actor("Body")->GetUserMatrix(), 0)) << "no transform: identity";

  aiAnimation* clip = model->Scene->mAnimations[0];
  // Ticks per second, duration in ticks, and the range's end in seconds.
  for (const auto& [rate, duration, end] : {std::tuple{-24.0, 2.0, 2.0},
                                            {NAN, 2.0, 2.0},
                                            {INFINITY, 2.0, 2.0},
                                            {1.0, INFINITY, 0.0},
                                            {1.0, NAN, 0.0},
                                            {1.0, -3.0, 0.0}})
  {
    clip->mTicksPerSecond = rate;
    clip->mDuration = duration;
    EXPECT_TRUE(model->GetTimeRange(0, range));
    EXPECT_EQ(range[1], end) << rate << " " << duration;
  }
}

// Lights get global matrices by their node's name, skins animate in every clip and
// images are found embedded (by the base name of a Windows path too) or beside the file
// ("./" paths, TGA).
TEST(RealFiles, LightsSkinsClipsAndTextures)
{
  const std::string glTF2 = assimpModel("glTF2/");
  // Path, lights, clips, bones, and the texture slot whose image must be found.
  for (const auto& [path, lights, clips, bones, slot] :
       {std::tuple{fixture("four_lights.fbx"), 4u, 0u, 0u, ""},
        {assimpModel("Collada/lights.dae"), 5u, 0u, 6u, ""},
        {fixture("arm_two_clips.glb"), 0u, 2u, 3u, ""},
        {fixture("arm_two_clips.dae"), 0u, 0u, 3u, ""},
        {fixture("chain_300_bones.glb"), 0u, 1u, 300u, ""},
        {assimpModel("FBX/animation_with_skeleton.fbx"), 1u, 1u, 13u, ""},
        {glTF2 + "simple_skin/simple_skin.gltf", 0u, 1u, 2u, ""},
        {assimpModel("Collada/box_nested_animation.dae"), 0u, 1u, 1u, ""},
        {fixture("textured_cube.gltf"), 0u, 0u, 0u, "albedoTex"},
        {fixture("textured_cube.glb"), 0u, 0u, 0u, "albedoTex"},
        {assimpModel("FBX/embedded_ascii/box.FBX"), 0u, 0u, 0u, "diffuseTex"},
        {assimpModel("Collada/duck.dae"), 1u, 0u, 0u, "diffuseTex"}})
  {
    SCOPED_TRACE(path);
    MessageLog log;
    Model model(path);
    ASSERT_TRUE(model.read);
    EXPECT_EQ(model->Scene->mNumLights, lights);
    for (unsigned i = 0; i < lights; ++i)
      EXPECT_TRUE(model.global(model->Scene->mLights[i]->mName.C_Str())) << i;

    vtkActor* skinned = nullptr;
    vtkActorCollection* actors = model.renderer->GetActors();
    actors->InitTraversal();
    while (vtkActor* actor = actors->GetNextActor())
      skinned = skinned || jointMatrices(actor).empty() ? skinned : actor;
    const std::vector<Matrix> bind = skinned ? jointMatrices(skinned) : std::vector<Matrix>();
    ASSERT_EQ(bind.size(), bones);
    ASSERT_EQ(model->Scene->mNumAnimations, clips);
    for (unsigned clip = 0; clip < clips; ++clip)
    {
      double range[2];
      model->GetTimeRange(clip, range);
      model->ActiveAnimation = clip;
      model.poseAt(range[1] * 0.37);
      const std::vector<Matrix> posed = jointMatrices(skinned);
      int moved = 0;
      for (std::size_t i = 0; i < posed.size(); ++i)
        moved += near(bind[i], posed[i], 1e-3) ? 0 : 1;
      EXPECT_GT(moved, 0) << clip;
    }

    vtkTexture* texture = nullptr;
    for (const auto& property : model->Properties)
      texture = texture || !*slot ? texture : property->GetTexture(slot);
    EXPECT_EQ(imageOf(texture) && imageOf(texture)->GetDimensions()[0] > 1, *slot != 0);
    EXPECT_FALSE(*slot && log.contains("Cannot"));
  }
}

// Every element count raised to four billion: glTF's "count" (a GLB's JSON chunk and
// lengths resized to match), Collada's count attributes and ASCII FBX's array sizes.
QByteArray withHugeCounts(const QByteArray& bytes)
{
  static const QRegularExpression count(R"((?<="count":|"count": |count="|\*)\d+)");
  const auto raise = [](const QByteArray& text)
  { return QString::fromLatin1(text).replace(count, "4000000000").toLatin1(); };
  if (!bytes.startsWith("glTF") || bytes.size() < 20)
    return raise(bytes);
  const auto jsonLength = qFromLittleEndian<quint32>(bytes.constData() + 12);
  QByteArray json = raise(bytes.mid(20, jsonLength));
  json.append((4 - json.size() % 4) % 4, ' ');
  QByteArray glb = bytes.left(20) + json + bytes.mid(20 + jsonLength);
  qToLittleEndian<quint32>(static_cast<quint32>(glb.size()), glb.data() + 8);
  qToLittleEndian<quint32>(static_cast<quint32>(json.size()), glb.data() + 12);
  return glb;
}

// Every 97th byte inverted, past the first tenth that tells the format.
QByteArray withFlippedBytes(QByteArray bytes)
{
  for (qsizetype i = bytes.size() / 10; i < bytes.size(); i += 97)
    bytes[i] = static_cast<char>(~bytes[i]);
  return bytes;
}

// Damaged copies: cut to a tenth, half and nine tenths, bytes flipped, counts raised.
const std::vector<std::pair<QString, std::function<QByteArray(const QByteArray&)>>> Damages = {
    {"cut1_", [](const QByteArray& b) { return b.left(b.size() / 10); }},
    {"cut5_", [](const QByteArray& b) { return b.left(b.size() / 2); }},
    {"cut9_", [](const QByteArray& b) { return b.left(b.size() * 9 / 10); }},
    {"flipped_", withFlippedBytes},
    {"huge_", withHugeCounts}};

// Either the read fails with exactly Assimp's report (the file and the reason, or an
// exception's text), or the importer's own reason not to read it, or, where allowed,
// the scene imports and poses.
void expectReportedFailure(const std::string& path, bool sceneAllowed = false)
{
  MessageLog log;
  Model model(path);
  if (model.read && sceneAllowed)
    return model->Scene->mNumAnimations ? model.poseAt(0.5) : void();
  EXPECT_FALSE(model.read || model->Scene) << path;
  const QStringList lines = log.lines();
  const QStringList report = {"Assimp failed to load:  \"" + QString::fromStdString(path) + "\"",
                              QString("Assimp error:  ") + model->Importer.GetErrorString()};
  const bool ownLine =
      lines.value(0).startsWith("Assimp exception: ") || lines.value(0).startsWith("Cannot read ");
  EXPECT_EQ(lines, ownLine ? lines.mid(0, 1) : report);
}

TEST(BrokenFiles, AreReportedOrImportWhatTheyHold)
{
  for (const char* name : {"IndexOutOfRange/AllIndicesOutOfRange.gltf", "wrongTypes/badArray.gltf",
                           "wrongTypes/badExtension.gltf", "wrongTypes/badNumber.gltf",
                           "wrongTypes/badObject.gltf", "wrongTypes/badString.gltf",
                           "wrongTypes/badUint.gltf", "SchemaFailures/sceneWrongType.gltf",
                           "RecursiveNodes/RecursiveNodes.gltf", "TestNoRootNode/NoScene.gltf"})
    expectReportedFailure(assimpModel(std::string("glTF2/") + name));
  expectReportedFailure(fixture("no_such_model.glb"));
  MessageLog log;
  Model recursive(assimpModel("glTF2/RecursiveNodes/RecursiveNodes.gltf"));
  EXPECT_EQ(log.lines().value(1), "Assimp error:  GLTF: Object at index 0 in array \"nodes\" has "
                                  "recursive reference to itself");

  for (const char* name :
       {"IndexOutOfRange/IndexOutOfRange.gltf", "TestNoRootNode/SceneWithoutNodes.gltf",
        "BoxWithInfinites-glTF-Binary/BoxWithInfinites.glb"})
  {
    Model model(assimpModel(std::string("glTF2/") + name));
    ASSERT_TRUE(model.read) << name;
    EXPECT_TRUE(model.actors(model->Scene->mRootNode->mName.C_Str())) << name;
  }

  // Empty and damaged files of every format, beside the buffers and images they name.
  QTemporaryDir folder;
  copyFixtureSideFiles(folder.path());
  for (const std::string extension : {".glb", ".gltf", ".fbx", ".dae"})
  {
    const std::string empty = folder.filePath("empty").toStdString() + extension;
    QFile(QString::fromStdString(empty)).open(QIODevice::WriteOnly);
    expectReportedFailure(empty);
    for (const std::string& source :
         {fixture("skinned" + extension), fixture("textured_external" + extension),
          fixture("arm_two_clips" + extension)})
    {
      const QByteArray bytes = fileBytes(source);
      ASSERT_FALSE(bytes.isEmpty()) << source;
      for (const auto& [prefix, damage] : Damages)
      {
        const QString copy = folder.filePath(prefix + QFileInfo(source.c_str()).fileName());
        ASSERT_TRUE(writeFile(copy, damage(bytes)));
        expectReportedFailure(copy.toStdString(), true);
      }
    }
  }
}

// What Assimp 5.2 crashes on, or exhausts memory with, is reported without reading.
TEST(BrokenFiles, WhatAssimpCannotSurviveIsNotGivenToIt)
{
  QTemporaryDir folder;
  copyFixtureSideFiles(folder.path());
  const auto withoutInverseBindMatrices = [](const std::string& file)
  { return fileBytes(fixture(file)).replace("inverseBindMatrices", "inverseBindMatrixes"); };
  QByteArray hugeChunk = fileBytes(fixture("skinned.glb"));
  qToLittleEndian<quint32>(0xfffffff0u, hugeChunk.data() + 12);
  const QByteArray gltf = fileBytes(fixture("skinned.gltf"));
  const QByteArray pastView = QByteArray(gltf).replace("\"count\": 20", "\"count\": 21");
  const QByteArray noMimeType =
      fileBytes(fixture("textured_embedded.glb")).replace("image/png", "image-png");
  for (const auto& [name, bytes, reason] :
       {std::tuple{"skin.glb", withoutInverseBindMatrices("skinned.glb"),
                   "glTF skin 0 has no inverse bind matrices"},
        {"skin.gltf", withoutInverseBindMatrices("skinned.gltf"),
         "glTF skin 0 has no inverse bind matrices"},
        {"chunk.glb", hugeChunk, "GLB chunk of 4294967280 bytes at byte 12 of a file of"},
        {"header.glb", QByteArray("{\"asset\": {\"version\": \"2.0\"}}"), "no GLB header"},
        {"json.gltf", gltf.left(gltf.size() / 2), "no glTF JSON: "},
        {"view.gltf", pastView, "glTF accessor 0 lies outside its buffer view or has none"},
        {"mime.glb", noMimeType, "glTF image 0 has no MIME type"},
        {"count.dae", withHugeCounts(fileBytes(fixture("skinned.dae"))), "a count of 4000000000"},
        {"count.fbx", withHugeCounts(fileBytes(fixture("skinned.fbx"))), "a count of 4000000000"}})
  {
    const QString path = folder.filePath(name);
    ASSERT_TRUE(writeFile(path, bytes));
    MessageLog log;
    Model model(path.toStdString());
    EXPECT_FALSE(model.read) << name;
    EXPECT_TRUE(log.lines().value(0).startsWith("Cannot read \"" + path + "\": " + reason))
        << log.lines().value(0).toStdString();
  }

  // Debian's Assimp aborts on its failed assertions; here they fail the read.
  MessageLog log;
  EXPECT_FALSE(Model(ML_SOURCE_DIR "/tests/importer/corpus/assimp-gltf1-assertion.glb").read);
  EXPECT_EQ(log.count("Assimp error:  Assimp assertion failed: "), 1)
      << log.lines().join("\n").toStdString();
}

// A damaged image, embedded or beside the model, leaves its material untextured and is
// reported once, by name; the model opens.
TEST(BrokenFiles, DamagedImagesLeaveTheirMaterialsUntextured)
{
  QTemporaryDir folder;
  copyFixtureSideFiles(folder.path());
  const QString beside = folder.filePath("quadrants_beside.png");
  ASSERT_TRUE(writeFile(beside, damagePng(fileBytes(fixture("quadrants_beside.png")))));
  const QString glb = folder.filePath("textured_embedded.glb");
  const QString boxGlb = folder.filePath("BoxTextured.glb");
  ASSERT_TRUE(writeFile(glb, damagePng(fileBytes(fixture("textured_embedded.glb")))));
  ASSERT_TRUE(writeFile(
      boxGlb, damagePng(fileBytes(assimpModel("glTF2/BoxTextured-glTF-Binary/BoxTextured.glb")))));
  for (const std::string extension : {".gltf", ".dae"})
    QFile::copy(QString::fromStdString(fixture("textured_external" + extension)),
                folder.filePath(QString::fromStdString("textured_external" + extension)));

  // The model, and the name that the report gives its image.
  for (const auto& [path, image] : {std::pair{glb, QString("quadrants.png")},
                                    {boxGlb, QString("embedded png image")},
                                    {folder.filePath("textured_external.gltf"), beside},
                                    {folder.filePath("textured_external.dae"), beside}})
  {
    SCOPED_TRACE(path.toStdString());
    MessageLog log;
    Model model(path.toStdString());
    ASSERT_TRUE(model.read);
    const QStringList reports = log.lines().filter("Cannot decode texture");
    ASSERT_EQ(reports.size(), 1) << log.lines().join("\n").toStdString();
    EXPECT_TRUE(reports[0].startsWith("Cannot decode texture \"" + image + "\": "))
        << reports[0].toStdString();
    for (const auto& property : model->Properties)
      EXPECT_FALSE(property->GetTexture("diffuseTex") || property->GetTexture("albedoTex"));
    EXPECT_GT(model.renderer->GetActors()->GetNumberOfItems(), 0);
  }
}

// Files that the fuzz targets found crashing or hanging the importer, opened and played
// as the viewer would, beside the fixtures' buffers and images as when they were found.
TEST(BrokenFiles, TheFuzzersFindingsOpenOrAreReported)
{
  QTemporaryDir folder;
  copyFixtureSideFiles(folder.path());
  const QDir corpus(ML_SOURCE_DIR "/tests/importer/corpus");
  const QStringList files = corpus.entryList({"*.glb", "*.gltf", "*.fbx", "*.dae"}, QDir::Files);
  EXPECT_FALSE(files.isEmpty());
  MessageLog quiet;
  for (const QString& name : files)
  {
    SCOPED_TRACE(name.toStdString());
    ASSERT_TRUE(QFile::copy(corpus.filePath(name), folder.filePath(name)));
    ML::Fuzz::openAndPlay(vtkNew<AssimpImporter>(), folder.filePath(name).toStdString());
  }
}

// Every FBX, glTF, GLB and Collada file of the Assimp test set: read, import and, when
// animated, posed at times of every animation, outside its range too. None may crash.
TEST(RealFiles, EveryModelOfTheAssimpTestSetReadsImportsAndAnimates)
{
  MessageLog quiet;
  QDirIterator files(QString::fromStdString(assimpModel("")), QDir::Files,
                     QDirIterator::Subdirectories);
  int tried = 0, read = 0, animated = 0;
  while (files.hasNext())
  {
    const QString path = files.next();
    if (!QStringList{"fbx", "gltf", "glb", "dae"}.contains(QFileInfo(path).suffix().toLower()))
      continue;
    ++tried;
    Model model(path.toStdString());
    read += model.read ? 1 : 0;
    EXPECT_EQ(model->NodeActors.size(), model->NodeGlobalMatrices.size()) << path.toStdString();
    for (unsigned a = 0; model.read && a < model->Scene->mNumAnimations; ++a, ++animated)
    {
      model->ActiveAnimation = a;
      double range[2];
      model->GetTimeRange(a, range);
      for (const double f : {-0.1, 0.0, 0.33, 0.5, 1.0, 1.5})
        model.poseAt(range[1] * f);
    }
  }
  EXPECT_TRUE(tried >= 90 && read >= 75 && animated >= 5)
      << tried << " " << read << " " << animated;
}
} // namespace
