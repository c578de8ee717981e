#include "vtkPickerStyle.h"

#include <vtkObjectFactory.h>
#include <vtkPropPicker.h>
#include <vtkRenderWindowInteractor.h>

#include "Manager.h"
#include "SelectionTasks.h"

namespace ML
{
namespace
{
// The last model that holds the actor; 0 when none does.
int modelOfActor(const VtkItem* item, vtkActor* actor)
{
  int found = 0;
  for (size_t i = 0; i < item->models.size(); ++i)
  {
    if (modelHoldsActor(*item->models[i], actor))
    {
      found = static_cast<int>(i);
    }
  }
  return found;
}
} // namespace

vtkStandardNewMacro(vtkPickerStyle);

void vtkPickerStyle::OnLeftButtonDown()
{
  vtkNew<vtkPropPicker> picker;
  VtkItem* item = this->data ? this->data->item : nullptr;
  vtkRenderWindowInteractor* interactor = this->GetInteractor();
  if (!item || item->models.empty() || !interactor)
  {
    this->Superclass::OnLeftButtonDown();
    return;
  }

  const int* position = interactor->GetEventPosition();
  picker->Pick(position[0], position[1], 0.0, this->data->renderer);
  vtkActor* actor = picker->GetActor();
  if (!actor)
  {
    this->data->boxWidget->Off();
    this->Superclass::OnLeftButtonDown();
    return;
  }

  // A click on a model selects it; it never starts a camera rotation.
  const int model = modelOfActor(item, actor);
  item->manager->state.currentModel = model;
  this->data->boxWidget->Off();
  attachBox(item, this->data, *item->models[static_cast<size_t>(model)], actor);
}
} // namespace ML
