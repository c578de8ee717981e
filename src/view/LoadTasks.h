#pragma once
// Loading, closing and exporting models. Files are read and written by the item's
// file worker; only attaching the read models to the scene, and gathering what an
// export writes, run on the render thread.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "FileJobs.h"
#include "VtkItem.h"

struct aiNode;
struct aiScene;

namespace ML
{
class Manager;

// What one load request read: the models in file order, or why it stopped.
struct LoadedModels
{
  VtkItem::LoadMode mode = VtkItem::LoadMode::Replace;
  QStringList paths;
  std::vector<std::unique_ptr<ModelEntry>> models;
  bool failed = false; // a file could not be read: the request changes nothing more
  bool cancelled = false;
};

// Reads `paths` in order on the calling thread, stopping at the first file that
// cannot be read or once `cancelled` says so. `progress(path, fraction)` hears of
// each step of each file.
using LoadProgress = std::function<void(const QString& path, double fraction)>;
std::shared_ptr<LoadedModels> readModelFiles(const QStringList& paths, VtkItem::LoadMode mode,
                                             const FileJobs::Cancelled& cancelled,
                                             const LoadProgress& progress);
// A read frees far more than it keeps (the file's bytes, Assimp's per-face blocks),
// in pieces too small for the allocator to hand back to the system by itself; this
// hands them back. It takes a while on big files: the worker calls it once the
// models are on their way.
void giveBackFreedMemory();
// Puts what a request read into the scene (render thread) and reports its end.
void attachModels(VtkItem* item, VtkItem::Data* data, LoadedModels& loaded);

// Gathers the loaded models on the render thread and writes them merged into
// `fileName` on the file worker.
void exportModels(VtkItem* item, const QString& fileName);
void clearModelsTask(VtkItem* item, VtkItem::Data* data);
void resetSceneSettings(Manager* manager, VtkItem::Data* data);
void selectAnimationAfterLoad(VtkItem* item);
// Whether `node` is one of the nodes of `scene`. Compares addresses only, so a
// node pointer that outlived its scene (a stale tree row) can be checked safely
// before it is dereferenced.
bool sceneContainsNode(const aiScene* scene, const aiNode* node);
} // namespace ML
