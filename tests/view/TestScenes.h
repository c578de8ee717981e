#pragma once

#include <QString>

namespace ML::Test
{
// Small glTF files for scene shapes that the shared models do not have. Each is
// written into `dir` and its path returned.

// Root "ROOT" with two children: "A" with one mesh, and "B" without mesh whose
// child "C" has two meshes.
QString writeTreeScene(const QString& dir);

// A triangle "Cube" and two lights: "WhiteLamp" at (7, 8, 9), colour (1, 1, 1);
// "HotLamp" at (-1, 2, -3), colour (256, 8, 2) after the intensity is applied.
QString writeLightScene(const QString& dir);

// A triangle "Mover" with one animation whose only key is at time 0.
QString writeStillAnimationScene(const QString& dir);

// A file that no importer accepts, with a model extension.
QString writeBrokenModel(const QString& dir);
} // namespace ML::Test
