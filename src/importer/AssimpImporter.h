/**
 * @class   AssimpImporter
 * @brief   Turns one model file read by Assimp into VTK actors and evaluates its
 *          skeletal animations.
 *
 * One importer serves one file for as long as the model stays in the scene. It reads
 * the file (ReadScene), converts meshes, embedded textures and materials, then builds
 * one actor per mesh reference of each node (ImportActors) and keeps, per node name,
 * the node's actors and its local and global matrices. UpdateTimeStep poses the scene
 * at a time of the active animation and refreshes the joint matrices that the skinning
 * mapper reads from each skinned actor's "jointMatrices" vertex uniform.
 *
 * Assimp and VTK matrices hold the same elements: (i, j) of one is (i, j) of the other,
 * column vectors, translation in column 3.
 *
 * Files come from anywhere: no value read from one, and no argument to a public
 * call, makes the importer read out of range. What it cannot use is left out (a face
 * naming a missing vertex, a weight for one, an image that does not decode) or does
 * nothing (an animation the scene does not have).
 *
 * ReadScene may run on any thread, before the importer is handed to the render
 * thread; everything else runs on the render thread.
 */

#ifndef AssimpImporter_h
#define AssimpImporter_h

#include <vtkObject.h>
#include <vtkSmartPointer.h>

#include <assimp/Importer.hpp>
#include <assimp/matrix4x4.h>

#include <string>
#include <unordered_map>
#include <vector>

class vtkActorCollection;
class vtkHomogeneousTransform;
class vtkImageData;
class vtkMatrix4x4;
class vtkPolyData;
class vtkProperty;
class vtkRenderer;
class vtkTexture;
struct aiAnimation;
struct aiMaterial;
struct aiMesh;
struct aiNode;
struct aiScene;
struct aiTexture;

class AssimpImporter : public vtkObject
{
public:
  static AssimpImporter* New();
  vtkTypeMacro(AssimpImporter, vtkObject);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  /**
   * Reads the file and converts its meshes, embedded textures and materials.
   * False when Assimp cannot read it, or when it holds what Assimp is known to crash
   * on (ReadGuard); the reason goes to the debug output. An importer reads one file.
   *
   * While it works it invokes ProgressEvent, with a double from 0 to 1, on the thread
   * that called it: Assimp's estimates first, then one event per converted mesh,
   * image and the materials. An observer may set AbortRead; the read then stops at
   * its next step and returns false, keeping no scene.
   */
  bool ReadScene(const std::string& fileName);
  vtkSetMacro(AbortRead, bool);
  vtkGetMacro(AbortRead, bool);
  void ReportProgress(double fraction);

  /**
   * Creates the actors of every node, adds them to the renderer, fills the node
   * tables and computes the joint matrices. Does nothing before a successful read.
   * A mesh reference past the meshes is skipped; a mesh whose material index is past
   * the materials keeps the actor's default property.
   */
  void ImportActors(vtkRenderer* renderer);
  void ImportNode(vtkRenderer* renderer, const aiNode* node, vtkMatrix4x4* parentGlobal, int depth);

  /**
   * Recomputes the global matrices of the node and everything below it from the
   * local matrices, and places the actors of those nodes with them.
   */
  void UpdateNodeTransforms(const aiNode* node, vtkMatrix4x4* parentGlobal);

  /**
   * Poses the scene at the given time (seconds) of the active animation, with the
   * model transform (none: identity) on top, then refreshes the joint matrices. Keys
   * hold before the first and after the last, infinite times included. Changes
   * nothing when the scene has no animation of index ActiveAnimation (-1: none) or
   * the time is NaN. Always true.
   */
  bool UpdateTimeStep(double timeValue, vtkHomogeneousTransform* modelTransform);

  /**
   * Range of the animation in seconds: [0, duration], where a duration that is
   * negative or not finite counts as 0. False, with [0, 0], when the scene has no
   * animation of that index.
   */
  bool GetTimeRange(vtkIdType animationIndex, double timeRange[2]);

  /**
   * Sets the "jointMatrices" vertex uniform of every skinned actor from the current
   * global matrices of its bones.
   */
  void UpdateJointMatrices();

  /**
   * Moves the vertices (and normals) of meshes with morph targets to the blend
   * that the clip's morph channels key at `ticks`.
   */
  void UpdateMorphTargets(const aiAnimation* animation, double ticks);

  /**
   * Converts one mesh. Tangents serve only normal mapping: they are generated (when
   * the mesh has none) only for a mesh whose material is normal-mapped. Positions and
   * normals are used in place unless the mesh has morph targets, so `mesh` must
   * outlive the poly data.
   */
  vtkSmartPointer<vtkPolyData> CreateMesh(const aiMesh* mesh, bool normalMapped = true);

  /**
   * The texture of an embedded image, or null when the image does not decode; the
   * debug output then says which image and why.
   */
  vtkSmartPointer<vtkTexture> CreateTexture(const aiTexture* texture);

  /**
   * The texture of a material's image path: "*<index>" or the file name of an
   * embedded image, or a file beside the model. Null when the image is missing or
   * does not decode.
   */
  vtkSmartPointer<vtkTexture> GetTexture(const char* path, bool sRGB);
  vtkSmartPointer<vtkProperty> CreateMaterial(const aiMaterial* material);

  static void ToVTKMatrix(const aiMatrix4x4& in, vtkMatrix4x4* out);
  static void ToAssimpMatrix(vtkMatrix4x4* in, aiMatrix4x4& out);

  // Read and written directly by the render tasks and the scene tree.
  std::string FileName;
  // What Assimp warned of while reading the file (its validation among others).
  std::vector<std::string> ReadWarnings;
  Assimp::Importer Importer;
  const aiScene* Scene = nullptr;
  std::vector<vtkSmartPointer<vtkPolyData>> Meshes;
  std::vector<vtkSmartPointer<vtkProperty>> Properties;
  std::vector<vtkSmartPointer<vtkTexture>> EmbeddedTextures;
  vtkIdType ActiveAnimation = 0;
  std::unordered_map<std::string, vtkSmartPointer<vtkActorCollection>> NodeActors;
  std::unordered_map<std::string, vtkSmartPointer<vtkMatrix4x4>> NodeLocalMatrices;
  std::unordered_map<std::string, vtkSmartPointer<vtkMatrix4x4>> NodeGlobalMatrices;

protected:
  AssimpImporter();
  ~AssimpImporter() override;

private:
  bool ConvertScene();
  void PackFaceIndices();
  void UnpackFaceIndices();
  const aiAnimation* FindAnimation(vtkIdType animationIndex) const;
  int FindEmbeddedTexture(const char* path) const; // -1: not embedded
  vtkSmartPointer<vtkTexture> ReadTextureBeside(const char* path);

  // Decoded images read beside the file by full path; null for those that failed.
  std::unordered_map<std::string, vtkSmartPointer<vtkImageData>> ImagesBeside;
  bool AbortRead = false;
  // Every face's vertex indices, one after the other: Assimp allocates each face's
  // few indices on their own, which for big meshes costs more than the indices.
  // The faces point into this block while the scene lives.
  std::vector<unsigned> FaceIndices;

  AssimpImporter(const AssimpImporter&) = delete;
  void operator=(const AssimpImporter&) = delete;
};

#endif
