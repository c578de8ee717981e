#pragma once

#include <vtkInteractorStyleTrackballCamera.h>

#include "VtkItem.h"

namespace ML
{
// Trackball camera whose left click first tries to pick a model: a hit selects
// that model and frames it with the transform box instead of rotating.
class vtkPickerStyle : public vtkInteractorStyleTrackballCamera
{
public:
  static vtkPickerStyle* New();
  vtkTypeMacro(vtkPickerStyle, vtkInteractorStyleTrackballCamera);

  void OnLeftButtonDown() override;

  VtkItem::Data* data = nullptr;

protected:
  vtkPickerStyle() = default;
  ~vtkPickerStyle() override = default;

private:
  vtkPickerStyle(const vtkPickerStyle&) = delete;
  void operator=(const vtkPickerStyle&) = delete;
};
} // namespace ML
