#pragma once
// Walking the actors of a loaded model.

#include <vtkActor.h>
#include <vtkActorCollection.h>

#include "AssimpImporter.h"
#include "VtkItem.h"

namespace ML
{
// Calls `visit` with each actor of the collection; a null collection has none.
template <typename Visit>
void forEachActor(vtkActorCollection* actors, const Visit& visit)
{
  if (!actors)
  {
    return;
  }
  vtkCollectionSimpleIterator it;
  actors->InitTraversal(it);
  while (vtkActor* actor = actors->GetNextActor(it))
  {
    visit(actor);
  }
}

// Calls `visit` with every actor of every node of the model.
template <typename Visit>
void forEachActor(const ModelEntry& entry, const Visit& visit)
{
  for (const auto& [name, actors] : entry.importer->NodeActors)
  {
    forEachActor(actors.Get(), visit);
  }
}
} // namespace ML
