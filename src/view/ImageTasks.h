#pragma once
// What the view hands out as files: a picture of it, a report on a model file.

#include <QString>

#include "VtkItem.h"

namespace ML
{
// Hands the window the report on that model's file.
void reportFile(VtkItem* item, int modelIndex);
// Writes what the view shows as a PNG, `scale` times the view's size.
void saveViewImage(VtkItem* item, VtkItem::Data* data, const QString& fileName, int scale);
} // namespace ML
