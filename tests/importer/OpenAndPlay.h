#pragma once
// What the viewer does with a file it opens, for the fuzz targets and the tests: read
// and convert it, import its actors, then pose clips, and clips the scene does not
// have, at times before, inside and after their range.

#include "AssimpImporter.h"

#include <vtkNew.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>

#include <assimp/scene.h>

#include <algorithm>
#include <string>

namespace ML::Fuzz
{
// Enough clips to reach every code path of the animation, few enough to stay quick on
// files that declare thousands.
constexpr vtkIdType ClipsPlayed = 4;

// False when the file does not read.
inline bool openAndPlay(AssimpImporter* importer, const std::string& path,
                        vtkIdType clipsPlayed = ClipsPlayed)
{
  importer->FileName = path;
  if (!importer->ReadScene(path))
    return false;
  vtkNew<vtkRenderer> renderer;
  importer->ImportActors(renderer);
  vtkNew<vtkTransform> placement;
  placement->Translate(1, 2, 3);
  const vtkIdType clips = std::min<vtkIdType>(importer->Scene->mNumAnimations, clipsPlayed);
  for (vtkIdType clip = -1; clip <= clips; ++clip)
  {
    importer->ActiveAnimation = clip;
    double range[2];
    importer->GetTimeRange(clip, range);
    for (const double fraction : {-0.5, 0.0, 0.37, 0.5, 1.0, 2.5})
      importer->UpdateTimeStep(range[1] * fraction, placement);
  }
  return true;
}
} // namespace ML::Fuzz
