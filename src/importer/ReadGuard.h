/**
 * Keeps from Assimp 5.2 the files that its readers are known to crash on, or to exhaust
 * memory with, found by fuzzing the importer. Each check is cheap next to the read: a
 * header, the glTF JSON, which Assimp parses anyway, or one scan of a text file. A glTF
 * file is refused when
 * - it is a GLB without GLB header or whose JSON or binary chunk is longer than the
 *   file (the reader allocates the declared length, up to 4 GiB, before reading);
 * - its JSON does not parse (Assimp would offer it to all its other readers);
 * - a skin has no inverse bind matrices, which glTF allows (identity) and the reader
 *   dereferences;
 * - an accessor lies outside its buffer view or has none, or a view lies outside the
 *   GLB's binary chunk (the reader copies without checking);
 * - a line, line loop, strip or point primitive has no vertices, or, in a GLB, an
 *   index past them (the reader makes faces of them unchecked);
 * - the attributes of a primitive differ in count (each array is sized by its own);
 * - a node names a skin or mesh that is missing, or an animation channel has no
 *   target (the reader follows them unchecked);
 * - an image in a buffer view has no "image/..." MIME type.
 * These hold for glTF 2.0 and 1.0 alike.
 * A Collada or ASCII FBX file is refused when it declares a count larger than the file
 * (the readers reserve memory for it first), a Collada file when one of its arrays has
 * no count (the reader dereferences what it did not allocate).
 * Assimp's failed assertions, which abort the process in Debian's build, become read
 * errors here too.
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
