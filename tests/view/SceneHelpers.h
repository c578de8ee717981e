#pragma once
// Shared by the camera, appearance and selection tests: loading models into the
// harness, synthetic geometry with exact bounds, and reading rendered pixels.

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>

#include <vtkActor.h>
#include <vtkSmartPointer.h>

#include <array>
#include <string>

#include "Manager.h"
#include "ViewHarness.h"
#include "VtkItem.h"

namespace ML::Test
{
using Point3 = std::array<double, 3>;

// Adds a model file to the harness's scene as the add command does, and frames it.
ModelEntry& loadModel(ViewHarness& h, const std::string& path);
// The actors of node `name` of `entry`, in import order.
std::vector<vtkActor*> nodeActors(const ModelEntry& entry, const std::string& name);
// Every actor of every node of `entry` gets this plain colour and no texture.
void paintModel(const ModelEntry& entry, double r, double g, double b);

// A triangulated box actor with exactly these bounds, added to the renderer.
vtkSmartPointer<vtkActor> addBoxActor(ViewHarness& h, const Point3& min, const Point3& max);

// Where a world point lands: image coordinates (top row first) of h.grab().
QPoint imagePoint(ViewHarness& h, const Point3& world);
// The same point in the interactor's display coordinates (bottom row first).
QPoint displayPoint(ViewHarness& h, const Point3& world);

QColor colorAt(const QImage& image, QPoint point);
// Pixels (or their bounding rectangle) whose colour differs from `background`.
int countDiffering(const QImage& image, QColor background);
QRect differingRect(const QImage& image, QColor background);

} // namespace ML::Test
