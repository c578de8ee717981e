// The skinned fixture: Root → Body (a tube from y = 0 to 3, rings at y = 0, 1, 2, 3
// weighted Joint0 | Joint0+Joint1 | Joint1+Joint2 | Joint2) and Root → Armature → Joint0
// → Joint1 (0, 1, 0) → Joint2 (0, 1, 0); inverse bind matrices translate by 0, -1 and -2
// along y. Clip "Bend", keys at 0, 1 and 2 s: Joint0 rotation q = Ry(30°), then -q at 2 s
// (Ry(30°) all along); Joint1 rotation identity, Rz(90°), identity; Joint2 translation
// (0, 1, 0) → (0, 2, 0), rotation identity → Rx(90°), scale 1 → 2. The Assimp-format
// variant has a tick rate of 0, a bone "GhostBone" of no node, a channel of a missing
// node "Ghost", and Joint2 keyed by scale (Assimp reads one stored position and rotation
// key with it).

#include "FileReport.h"
#include "ImporterTest.h"
#include "OpenAndPlay.h"

#include <vtkDataSet.h>
#include <vtkMapper.h>

#include <QDirIterator>
#include <QRegularExpression>
#include <QtEndian>

#include <functional>
#include <limits>
#include <map>

using namespace ML::Test;

namespace
{
constexpr double Tol = 1e-5;
const Matrix Joint0 = trs({0, 0, 0}, 30, {0, 1, 0});
const auto joint1 = [](double degrees) { return trs({0, 1, 0}, degrees); };

// Keys hold before the first and after the last, infinite times included; clips the
// scene does not have and NaN times change nothing; tick rates and durations that are
// not positive numbers are clamped. A bone of no node is reported at the import and at
// each update, and neither it nor a channel's missing node enters the tables.
TEST(Animation, PosesAtKeysBetweenKeysBeyondThemAndWithoutKeys)
{
  for (const std::string extension : {".fbx", ".dae", ".glb", ".gltf", "_odd.assbin"})
  {
    SCOPED_TRACE(extension);
    MessageLog log;
    Model model(fixture("skinned" + extension));
    ASSERT_TRUE(model.read);
    const bool odd = extension == "_odd.assbin";
    // Joint2 once a share of its moves is done, at a scale; the variant only scales it.
    const auto joint2 = [&](double share, double scale) {
      return trs({0, odd ? 1 : 1 + share, 0}, odd ? 0 : 90 * share, {1, 0, 0}, scale);
    };
    const QString ghostReport = "Cannot find global matrix of bone  \"GhostBone\"";
    EXPECT_EQ(log.count(ghostReport), odd ? 1 : 0);
    vtkActor* body = model.actor("Body");
    const std::vector<Matrix> bind = jointMatrices(body);
    EXPECT_TRUE(bind.size() == (odd ? 4 : 3) &&
                std::all_of(bind.begin(), bind.end(),
                            [](const Matrix& m) { return near(Identity, m, Tol); }));
    if (extension == ".fbx" || extension == ".dae") // their round trips do not keep the keys
      continue;
    double range[2] = {-1, -1};
    EXPECT_TRUE(model->GetTimeRange(0, range) && range[0] == 0 && std::abs(range[1] - 2) < 1e-9);
    // Joint1 turns to Rz(90°) at 1 s and back; Joint2 rises by one, turns to Rx(90°) and
    // grows to twice its size, at an even pace over the clip.
    for (const double t : {1.0, 2.0, 7.0, HUGE_VAL, 0.5, 1.5, -3.0, -HUGE_VAL})
    {
      model.poseAt(t);
      const double f = std::clamp(t, 0.0, 2.0) / 2; // the share of the clip played
      EXPECT_TRUE(near(Joint0, model.local("Joint0"), Tol)) << t;
      EXPECT_TRUE(near(joint1(90 - std::abs(180 * f - 90)), model.local("Joint1"), Tol)) << t;
      EXPECT_TRUE(near(joint2(f, 1 + f), model.local("Joint2"), Tol)) << t;
    }

    log.clear();
    model.poseAt(1);
    EXPECT_EQ(log.count(ghostReport), odd ? 1 : 0);
    EXPECT_EQ(
        model->NodeLocalMatrices.count("Ghost") + model->NodeGlobalMatrices.count("GhostBone"), 0u);
    const Matrix global1 = Joint0 * joint1(90);
    EXPECT_TRUE(near(global1 * joint2(0.5, 1.5), model.global("Joint2"), Tol));
    // Joint matrix = (mesh node global)^-1 × bone global × inverse bind matrix; without
    // a bone global, the rest.
    EXPECT_TRUE(near(global1 * trs({0, -1, 0}), jointMatrices(body).at(1), Tol));
    EXPECT_TRUE(!odd || near(Identity, jointMatrices(body).at(3), Tol));
    vtkNew<vtkTransform> placement;
    placement->Translate(5, 0, 0);
    placement->RotateZ(30);
    for (const vtkIdType clip : {vtkIdType(1), vtkIdType(-2), vtkIdType(1) << 40})
    {
      model->ActiveAnimation = clip;
      EXPECT_TRUE(model->UpdateTimeStep(2, placement)) << clip;
      EXPECT_TRUE(near(joint1(90), model.local("Joint1"), Tol)) << clip;
      EXPECT_TRUE(near(Identity, body->GetUserMatrix(), 0)) << clip;
      range[1] = -1;
      EXPECT_FALSE(model->GetTimeRange(clip, range) || range[0] || range[1]) << clip;
    }
    model->ActiveAnimation = 0;
    model.poseAt(std::nan(""));
    EXPECT_TRUE(near(joint1(90), model.local("Joint1"), Tol));

    // The model transform places actors and globals but leaves joint matrices.
    const std::vector<Matrix> unmoved = jointMatrices(body);
    model->UpdateTimeStep(1, placement);
    EXPECT_TRUE(near(placement->GetMatrix(), body->GetUserMatrix(), Tol));
    EXPECT_TRUE(near(unmoved[2], jointMatrices(body)[2], Tol));

    // An empty key list keeps the node's stored transform of that kind (Assimp fills
    // them while reading, so they are emptied here); no model transform is the identity.
    model.poseAt(2); // Joint2 = T(0, 2, 0) Rx(90°) S(2), or T(0, 1, 0) S(2)
    aiAnimation* clip = model->Scene->mAnimations[0];
    for (aiNodeAnim* channel : std::vector(clip->mChannels, clip->mChannels + clip->mNumChannels))
      if (std::string(channel->mNodeName.C_Str()) == "Joint2")
        channel->mNumPositionKeys = channel->mNumRotationKeys = 0;
    model.poseAt(1);
    EXPECT_TRUE(near(joint2(1, 1.5), model.local("Joint2"), Tol));
    EXPECT_TRUE(near(Identity, body->GetUserMatrix(), 0));

    // Ticks per second, duration in ticks, and the range's end in seconds.
    using Clip = std::tuple<double, double, double>;
    for (const auto& [rate, duration, end] :
         {Clip{-24, 2, 2}, Clip{NAN, 2, 2}, Clip{INFINITY, 2, 2}, Clip{1, INFINITY, 0},
          Clip{1, NAN, 0}, Clip{1, -3, 0}})
    {
      clip->mTicksPerSecond = rate;
      clip->mDuration = duration;
      EXPECT_TRUE(model->GetTimeRange(0, range));
      EXPECT_EQ(range[1], end) << rate << " " << duration;
    }
  }
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
  vtkDataSet* drawn = model.actor("AnimatedMorphCube")->GetMapper()->GetInput();
  for (const double key : {40.0, 60.5})
  {
    const aiMeshMorphKey* keys[] = {&channel->mKeys[int(key)], &channel->mKeys[int(key + 0.5)]};
    model.poseAt((keys[0]->mTime + keys[1]->mTime) / 2 / clip->mTicksPerSecond);
    double weights[2] = {0, 0}; // of the two targets
    for (const aiMeshMorphKey* k : keys)
      for (unsigned i = 0; i < k->mNumValuesAndWeights; ++i)
        weights[k->mValues[i]] += k->mWeights[i] / 2;
    for (unsigned v = 0; v < mesh->mNumVertices; ++v)
    {
      aiVector3D expected = mesh->mVertices[v];
      for (unsigned t = 0; t < 2; ++t)
        expected += static_cast<float>(weights[t]) *
                    (mesh->mAnimMeshes[t]->mVertices[v] - mesh->mVertices[v]);
      const double* point = drawn->GetPoint(v);
      EXPECT_NEAR((aiVector3D(point[0], point[1], point[2]) - expected).Length(), 0, 1e-5) << v;
    }
  }
}

// Skins of every format animate in every clip, and actors sharing a skin follow the one
// skeleton: each takes its own placement out again. Images are found embedded (by the base
// name of a Windows path too) or beside the file ("./" paths, TGA). Files that Assimp reads
// despite their flaws (no nodes, infinite values) import. The report on a file gives its
// counts (the glTF reader adds a default material) and what the viewer cannot use, each
// with its reason; lines of it ending in a line break are whole lines.
TEST(RealFiles, SkinsClipsTexturesAndTheFileReport)
{
  const QString folder = QFileInfo(fixtureFile("")).absolutePath();
  const std::map<std::string, QStringList> reports = {
      {fixture("arm_two_clips.glb"),
       {"Format: glTF 2.0, binary (GLB)\n", "Meshes: 1, vertices: 169, triangles: 288\n",
        "Materials: 2\n", "Bones: 3\n", "Clips: 2\n",
        "  Bend: 2.042 s, 3 channels, 21 keys, 1000 ticks a second\n", "Lamps: 0\n",
        "Warnings: 0\n"}},
      {fixture("four_lights.glb"),
       {"  Lamp_1: spot, colour 0.2 1 0.2\n", "Warnings: 1\n  Lamp Lamp_3 is left out"}},
      {fixture("textured_external.gltf"),
       {"  quadrants_beside.png: found at " + folder + "/quadrants_beside.png\n",
        "  ../maps/missing.png: missing (looked in " + folder + ")\n",
        "Warnings: 1\n  Image ../maps/missing.png not found"}},
      {assimpModel("glTF2/IndexOutOfRange/IndexOutOfRange.gltf"), // the reader's own warnings
       {"  Reader: Some faces had out-of-range indices. Those faces were dropped.\n"}}};
  // Path, bones, and the texture slot whose image must be found.
  for (const auto& [path, bones, slot] :
       {std::tuple{assimpModel("Collada/lights.dae"), 6u, ""},
        {fixture("arm_two_clips.glb"), 3u, ""},
        {fixture("arm_two_clips.dae"), 3u, ""},
        {fixture("arm_shared_skin.assbin"), 3u, ""},
        {fixture("chain_300_bones.glb"), 300u, ""},
        {assimpModel("FBX/animation_with_skeleton.fbx"), 13u, ""},
        {assimpModel("glTF2/simple_skin/simple_skin.gltf"), 2u, ""},
        {assimpModel("Collada/box_nested_animation.dae"), 1u, ""},
        {assimpModel("glTF2/TestNoRootNode/SceneWithoutNodes.gltf"), 0u, ""},
        {assimpModel("glTF2/BoxWithInfinites-glTF-Binary/BoxWithInfinites.glb"), 0u, ""},
        {assimpModel("glTF2/IndexOutOfRange/IndexOutOfRange.gltf"), 0u, ""},
        {fixture("four_lights.glb"), 0u, ""},
        {fixture("textured_external.gltf"), 0u, ""},
        {assimpModel("FBX/embedded_ascii/box.FBX"), 0u, "diffuseTex"},
        {assimpModel("Collada/duck.dae"), 0u, "diffuseTex"}})
  {
    SCOPED_TRACE(path);
    MessageLog log;
    Model model(path);
    ASSERT_TRUE(model.read);
    const QString text =
        FileReport::Describe(*model->Scene, QString::fromStdString(path), model->ReadWarnings);
    for (const QString& line : reports.count(path) ? reports.at(path) : QStringList())
      EXPECT_TRUE(("\n" + text + "\n").contains("\n" + line))
          << line.toStdString() << text.toStdString();
    EXPECT_TRUE(model.actors(model->Scene->mRootNode->mName.C_Str()));
    std::map<vtkDataSet*, Matrix> placed; // by mesh: a joint matrix put back in place
    vtkActor* skinned = nullptr;
    vtkActorCollection* actors = model.renderer->GetActors();
    for (actors->InitTraversal(); vtkActor* actor = actors->GetNextActor();)
    {
      const std::vector<Matrix> joints = jointMatrices(actor);
      if (joints.empty())
        continue;
      skinned = skinned ? skinned : actor;
      const Matrix back = Matrix(actor->GetUserMatrix()) * joints.back();
      const auto [first, added] = placed.emplace(actor->GetMapper()->GetInput(), back);
      EXPECT_TRUE(added || near(first->second, back, 1e-4));
    }
    const std::vector<Matrix> bind = skinned ? jointMatrices(skinned) : std::vector<Matrix>();
    ASSERT_EQ(bind.size(), bones);
    for (unsigned clip = 0; clip < model->Scene->mNumAnimations; ++clip)
    {
      double range[2];
      model->GetTimeRange(clip, range);
      model->ActiveAnimation = clip;
      model.poseAt(range[1] * 0.37);
      EXPECT_FALSE(std::equal(bind.begin(), bind.end(), jointMatrices(skinned).begin(),
                              [](const Matrix& a, const Matrix& b) { return near(a, b, 1e-3); }))
          << clip;
    }

    EXPECT_EQ(materialsShowing(model, slot) > 0, *slot != 0);
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

// Damaged copies: cut to a tenth, half and nine tenths, every 97th byte inverted past
// the first tenth that tells the format, counts raised.
const std::vector<std::pair<QString, std::function<QByteArray(QByteArray)>>> Damages = {
    {"cut1_", [](QByteArray b) { return b.left(b.size() / 10); }},
    {"cut5_", [](QByteArray b) { return b.left(b.size() / 2); }},
    {"cut9_", [](QByteArray b) { return b.left(b.size() * 9 / 10); }},
    {"flipped_",
     [](QByteArray b)
     {
       for (qsizetype i = b.size() / 10; i < b.size(); i += 97)
         b[i] = static_cast<char>(~b[i]);
       return b;
     }},
    {"huge_", withHugeCounts}};

// The read fails with one report, Assimp's (the file, then its reason), an exception's
// text or the importer's own reason not to give Assimp the file, which says `why`, and
// leaves nothing to show or play; or, where allowed, the scene imports and poses.
void expectReportedFailure(const std::string& file, bool sceneAllowed = false,
                           const QString& why = "")
{
  MessageLog log;
  Model model(file);
  if (model.read && sceneAllowed)
    return model->Scene->mNumAnimations ? model.poseAt(0.5) : void();
  EXPECT_FALSE(model.read || model->Scene) << file;
  const QString path = QString::fromStdString(file), reason = model->Importer.GetErrorString();
  const QStringList lines = log.lines();
  const bool own = lines.value(0).startsWith("Assimp exception: ") ||
                   lines.value(0).startsWith("Cannot read \"" + path + "\": ");
  EXPECT_EQ(lines, own ? lines.mid(0, 1)
                       : QStringList({"Assimp failed to load:  \"" + path + "\"",
                                      "Assimp error:  " + reason}));
  EXPECT_TRUE(own || !reason.isEmpty());
  EXPECT_TRUE(lines.join('\n').contains(why)) << why.toStdString();
  EXPECT_TRUE(model->UpdateTimeStep(1, nullptr));
  double range[2] = {-1, -1};
  EXPECT_FALSE(model->GetTimeRange(0, range) || range[0] || range[1]);
  EXPECT_EQ(model.renderer->GetActors()->GetNumberOfItems(), 0);
}

// Broken, cut and empty files are reported or import what they hold; what Assimp 5.2
// crashes on, or exhausts memory with, is reported without being read.
TEST(BrokenFiles, AreReportedOrImportWhatTheyHold)
{
  for (const char* name : {"IndexOutOfRange/AllIndicesOutOfRange.gltf", "wrongTypes/badArray.gltf",
                           "wrongTypes/badExtension.gltf", "wrongTypes/badNumber.gltf",
                           "wrongTypes/badObject.gltf", "wrongTypes/badString.gltf",
                           "wrongTypes/badUint.gltf", "SchemaFailures/sceneWrongType.gltf",
                           "RecursiveNodes/RecursiveNodes.gltf", "TestNoRootNode/NoScene.gltf"})
    expectReportedFailure(assimpModel(std::string("glTF2/") + name));
  expectReportedFailure(fixture("no_such_model.glb"));
  // Debian's Assimp aborts on its failed assertions; here they fail the read.
  expectReportedFailure(ML_SOURCE_DIR "/tests/importer/corpus/assimp-gltf1-assertion.glb", false,
                        "Assimp error:  Assimp assertion failed: ");

  FixtureFolder folder;
  QByteArray hugeChunk = fileBytes(fixture("skinned.glb"));
  qToLittleEndian<quint32>(0xfffffff0u, hugeChunk.data() + 12);
  const QByteArray gltf = fileBytes(fixture("skinned.gltf"));
  const QByteArray pastView = QByteArray(gltf).replace("\"count\": 20", "\"count\": 21");
  const QByteArray noMimeType =
      fileBytes(fixture("textured_embedded.glb")).replace("image/png", "image-png");
  for (const auto& [name, bytes, reason] :
       {std::tuple{"skin.gltf",
                   QByteArray(gltf).replace("inverseBindMatrices", "inverseBindMatrixes"),
                   "glTF skin 0 has no inverse bind matrices"},
        {"chunk.glb", hugeChunk, "GLB chunk of 4294967280 bytes at byte 12 of a file of"},
        {"header.glb", QByteArray("{\"asset\": {\"version\": \"2.0\"}}"), "no GLB header"},
        {"json.gltf", gltf.left(gltf.size() / 2), "no glTF JSON: "},
        {"view.gltf", pastView, "glTF accessor 0 lies outside its buffer view or has none"},
        {"mime.glb", noMimeType, "glTF image 0 has no MIME type"},
        {"count.dae", withHugeCounts(fileBytes(fixture("skinned.dae"))), "a count of 4000000000"},
        {"count.fbx", withHugeCounts(fileBytes(fixture("skinned.fbx"))), "a count of 4000000000"}})
  {
    ASSERT_TRUE(writeFile(folder.filePath(name), bytes));
    expectReportedFailure(folder.filePath(name).toStdString(), false,
                          "Cannot read \"" + folder.filePath(name) + "\": " + reason);
  }

  // Empty and damaged files of every format, beside the buffers and images they name.
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
      for (const auto& [prefix, damage] : Damages)
      {
        const QString copy = folder.filePath(prefix + QFileInfo(source.c_str()).fileName());
        ASSERT_TRUE(writeFile(copy, damage(bytes)));
        expectReportedFailure(copy.toStdString(), true);
      }
    }
  }
}

// Files that the fuzz targets found crashing or hanging the importer (beside the
// fixtures' buffers and images, as when they were found), and every FBX, glTF, GLB and
// Collada file of the Assimp test set, every clip of these posed: none may crash.
TEST(RealFiles, TheFuzzersFindingsAndTheAssimpTestSetOpenAndPlay)
{
  MessageLog quiet;
  int tried = 0, read = 0, animated = 0;
  const auto play = [&](const QString& path, vtkIdType clips)
  {
    vtkNew<AssimpImporter> importer;
    read += ML::Fuzz::openAndPlay(importer, path.toStdString(), clips) ? 1 : 0;
    animated += importer->Scene ? importer->Scene->mNumAnimations : 0;
    EXPECT_EQ(importer->NodeActors.size(), importer->NodeGlobalMatrices.size())
        << path.toStdString();
  };
  const QStringList types = {"*.glb", "*.gltf", "*.fbx", "*.dae"};
  for (QDirIterator files(QString::fromStdString(assimpModel("")), types, QDir::Files,
                          QDirIterator::Subdirectories);
       files.hasNext(); ++tried)
    play(files.next(), std::numeric_limits<vtkIdType>::max());
  EXPECT_TRUE(tried >= 90 && read >= 75 && animated >= 5)
      << tried << " " << read << " " << animated;

  FixtureFolder folder;
  const QDir corpus(ML_SOURCE_DIR "/tests/importer/corpus");
  for (const QString& name : corpus.entryList(types, QDir::Files))
  {
    ASSERT_TRUE(QFile::copy(corpus.filePath(name), folder.filePath(name)));
    play(folder.filePath(name), ML::Fuzz::ClipsPlayed);
  }
}
} // namespace
