/**
 * Checks a model file for what Assimp 5.2's readers are known to crash on, or to
 * exhaust memory with, before Assimp sees it. Each check is cheap next to the read
 * (a header, or the glTF JSON, which Assimp parses anyway) and was found by fuzzing
 * the importer:
 * - a GLB chunk longer than the file: the reader allocates the declared length,
 *   up to 4 GiB, before it reads a byte;
 * - a glTF skin without inverse bind matrices (which glTF allows, meaning identity):
 *   the reader dereferences the missing accessor.
 */

#ifndef ReadGuard_h
#define ReadGuard_h

#include <QString>

#include <string>

namespace ReadGuard
{
/**
 * Why the file must not be given to Assimp, or an empty string.
 */
QString ReasonNotToRead(const std::string& fileName);
} // namespace ReadGuard

#endif
