#include "ReadGuard.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>

namespace Assimp
{
// Declared by Assimp's headers only for its debug builds.
void aiAssertViolation(const char* failedExpression, const char* file, int line);
} // namespace Assimp

namespace
{
constexpr qint64 GlbHeaderSize = 12;
constexpr qint64 GlbChunkHeaderSize = 8;

// What a glTF file holds, as far as the checks need it.
struct GltfFile
{
  QByteArray Json;
  QByteArray Binary; // may be mapped from the file, which stays open while it is checked
  bool HasBinaryChunk = false;
};

// The chunks that Assimp reads of a GLB, the JSON and the binary buffer, must fit in the
// file. A glTF 1.0 binary has only the JSON part, followed by its body.
QString ReadGlb(QFile& file, GltfFile& gltf)
{
  const qint64 size = file.size();
  if (size < GlbHeaderSize)
  {
    return QStringLiteral("GLB of %1 bytes").arg(size);
  }
  const bool chunked = qFromLittleEndian<quint32>(file.peek(GlbHeaderSize).constData() + 4) >= 2;
  const int chunks = chunked ? 2 : 1;
  qint64 at = GlbHeaderSize;
  for (int chunk = 0; chunk < chunks && at + GlbChunkHeaderSize <= size; ++chunk)
  {
    file.seek(at);
    const QByteArray header = file.read(GlbChunkHeaderSize);
    const qint64 length = qFromLittleEndian<quint32>(header.constData());
    const qint64 data = at + GlbChunkHeaderSize;
    if (length > size - data)
    {
      return QStringLiteral("GLB chunk of %1 bytes at byte %2 of a file of %3 bytes")
          .arg(length)
          .arg(at)
          .arg(size);
    }
    if (chunk == 0)
    {
      gltf.Json = file.read(length);
    }
    else
    {
      // Mapped, not read: the checks look at a few indices of a chunk that may hold
      // hundreds of megabytes.
      const uchar* mapped = length > 0 ? file.map(data, length) : nullptr;
      gltf.Binary = mapped ? QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), length)
                           : file.read(length);
      gltf.HasBinaryChunk = true;
    }
    at = data + length;
  }
  return QString();
}

qint64 ComponentBytes(int componentType)
{
  switch (componentType)
  {
  case 5120: // byte
  case 5121: // unsigned byte
    return 1;
  case 5122: // short
  case 5123: // unsigned short
    return 2;
  case 5125: // unsigned int
  case 5126: // float
    return 4;
  default:
    return 0;
  }
}

qint64 ElementComponents(const QString& type)
{
  static const QHash<QString, qint64> components = {
      {"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4}, {"MAT2", 4}, {"MAT3", 9}, {"MAT4", 16}};
  return components.value(type, 0);
}

// glTF 2.0 keeps its objects in arrays and names them by index; glTF 1.0 keeps them in
// objects and names them by id.
QJsonArray All(const QJsonObject& gltf, const char* collection)
{
  const QJsonValue all = gltf.value(collection);
  if (all.isArray())
  {
    return all.toArray();
  }
  QJsonArray values;
  for (const QJsonValue& value : all.toObject())
  {
    values.append(value);
  }
  return values;
}

QJsonValue FindValue(const QJsonObject& gltf, const char* collection, const QJsonValue& name)
{
  const QJsonValue all = gltf.value(collection);
  return all.isArray() ? all.toArray().at(name.toInt(-1)) : all.toObject().value(name.toString());
}

QJsonObject Find(const QJsonObject& gltf, const char* collection, const QJsonValue& name)
{
  return FindValue(gltf, collection, name).toObject();
}

// Assimp follows what a node or an animation channel names without looking whether it
// is there.
QString CheckReferences(const QJsonObject& gltf)
{
  for (const QJsonValue& node : All(gltf, "nodes"))
  {
    for (const auto& [key, collection] : {std::pair{"skin", "skins"}, {"mesh", "meshes"}})
    {
      const QJsonValue name = node.toObject().value(key);
      if (!name.isUndefined() && !FindValue(gltf, collection, name).isObject())
      {
        return QStringLiteral("glTF node names a missing %1").arg(key);
      }
    }
  }
  for (const QJsonValue& animation : All(gltf, "animations"))
  {
    for (const QJsonValue& channel : animation.toObject().value("channels").toArray())
    {
      if (!channel.toObject().value("target").isObject())
      {
        return QStringLiteral("glTF animation channel without target");
      }
    }
  }
  return QString();
}

// glTF allows a skin without inverse bind matrices (identity); Assimp dereferences them.
QString CheckSkins(const QJsonObject& gltf)
{
  const QJsonArray skins = All(gltf, "skins");
  for (qsizetype i = 0; i < skins.size(); ++i)
  {
    if (!skins.at(i).toObject().contains("inverseBindMatrices"))
    {
      return QStringLiteral("glTF skin %1 has no inverse bind matrices").arg(i);
    }
  }
  return QString();
}

// Assimp copies accessor data without checking that it lies within the buffer view,
// and takes an accessor without view (zeros, in glTF) for one with, unless the mesh
// data is Draco-compressed. Elements may not overlap, or a small view would hold a
// count that Assimp allocates for. In a GLB, the buffer without URI is the binary chunk, and
// its views must lie within it. Sizes are compared as doubles, as JSON numbers may
// exceed every integer type.
QString CheckAccessors(const QJsonObject& gltf, const GltfFile& file)
{
  const QJsonArray accessors = All(gltf, "accessors");
  const bool draco = gltf.value("extensionsUsed").toArray().contains("KHR_draco_mesh_compression");
  for (qsizetype i = 0; i < accessors.size(); ++i)
  {
    const QJsonObject accessor = accessors.at(i).toObject();
    if (draco && !accessor.contains("bufferView"))
    {
      continue;
    }
    const double element =
        static_cast<double>(ComponentBytes(accessor.value("componentType").toInt()) *
                            ElementComponents(accessor.value("type").toString()));
    const QJsonObject view = Find(gltf, "bufferViews", accessor.value("bufferView"));
    const QJsonObject buffer = Find(gltf, "buffers", view.value("buffer"));
    const double viewLength = view.value("byteLength").toDouble();
    const double count = accessor.value("count").toDouble();
    const double stride = view.value("byteStride").toDouble(element);
    const double end = accessor.value("byteOffset").toDouble() + (count - 1) * stride + element;
    const bool inChunk = !buffer.contains("uri") && file.HasBinaryChunk;
    const bool valid =
        element > 0 && count >= 1 && stride >= element && end <= viewLength && !buffer.isEmpty() &&
        (!inChunk || view.value("byteOffset").toDouble() + viewLength <= file.Binary.size());
    if (!valid)
    {
      return QStringLiteral("glTF accessor %1 lies outside its buffer view or has none").arg(i);
    }
  }
  return QString();
}

qint64 VertexCount(const QJsonObject& gltf, const QJsonObject& primitive)
{
  const QJsonValue position = primitive.value("attributes").toObject().value("POSITION");
  return Find(gltf, "accessors", position).value("count").toInteger();
}

// glTF gives every attribute of a primitive one count, that of its vertices; Assimp
// sizes each array by its own accessor and the mesh by the positions, so a shorter
// attribute would be read past its end.
QString CheckAttributes(const QJsonObject& gltf)
{
  for (const QJsonValue& mesh : All(gltf, "meshes"))
  {
    for (const QJsonValue& primitive : mesh.toObject().value("primitives").toArray())
    {
      const qint64 vertices = VertexCount(gltf, primitive.toObject());
      for (const QJsonValue& attribute : primitive.toObject().value("attributes").toObject())
      {
        if (Find(gltf, "accessors", attribute).value("count").toInteger() != vertices)
        {
          return QStringLiteral("glTF attributes of one primitive with different counts");
        }
      }
    }
  }
  return QString();
}

qint64 ReadIndex(const QByteArray& binary, qint64 at, qint64 bytes)
{
  const auto* data = reinterpret_cast<const uchar*>(binary.constData()) + at;
  return bytes == 1   ? data[0]
         : bytes == 2 ? qFromLittleEndian<quint16>(data)
                      : qFromLittleEndian<quint32>(data);
}

// Assimp makes faces of line loops, strips and points without checking their indices
// against the vertices, and counts the faces of one without vertices from minus one. Such
// a primitive needs vertices, and in a GLB, whose binary chunk is at hand, each of its
// indices must name one. Runs after CheckAccessors, which keeps the reads within the
// chunk.
QString CheckLinesAndPoints(const QJsonObject& gltf, const GltfFile& file)
{
  for (const QJsonValue& mesh : All(gltf, "meshes"))
  {
    for (const QJsonValue& value : mesh.toObject().value("primitives").toArray())
    {
      const QJsonObject primitive = value.toObject();
      if (primitive.value("mode").toInt(4) == 4)
      {
        continue;
      }
      const qint64 vertices = VertexCount(gltf, primitive);
      if (vertices < 1)
      {
        return QStringLiteral("glTF line or point primitive without vertices");
      }
      const QJsonObject indices = Find(gltf, "accessors", primitive.value("indices"));
      const QJsonObject view = Find(gltf, "bufferViews", indices.value("bufferView"));
      const bool inChunk =
          file.HasBinaryChunk && !Find(gltf, "buffers", view.value("buffer")).contains("uri");
      const qint64 bytes = ComponentBytes(indices.value("componentType").toInt());
      if (view.isEmpty() || !inChunk || bytes == 0)
      {
        continue;
      }
      // At least one index further each step, so that the walk ends with the chunk.
      const qint64 stride = std::max(view.value("byteStride").toInteger(bytes), bytes);
      const qint64 start =
          view.value("byteOffset").toInteger() + indices.value("byteOffset").toInteger();
      const qint64 count = indices.value("count").toInteger();
      for (qint64 i = 0, at = start; i < count && at + bytes <= file.Binary.size();
           ++i, at += stride)
      {
        if (ReadIndex(file.Binary, at, bytes) >= vertices)
        {
          return QStringLiteral("glTF primitive index %1 names no vertex").arg(i);
        }
      }
    }
  }
  return QString();
}

// An image in a buffer view is named by its MIME type, "image/<format>"; Assimp takes
// the part after the slash without looking for it.
QString CheckImages(const QJsonObject& gltf)
{
  const QJsonArray images = All(gltf, "images");
  for (qsizetype i = 0; i < images.size(); ++i)
  {
    const QJsonObject image = images.at(i).toObject();
    if (image.contains("bufferView") && !image.value("mimeType").toString().contains('/'))
    {
      return QStringLiteral("glTF image %1 has no MIME type").arg(i);
    }
  }
  return QString();
}

// Assimp's Collada and ASCII FBX readers reserve memory for the counts that a file
// declares before they read the values, but no count of values can exceed the bytes of
// the file that holds them.
QString CheckCounts(const QByteArray& text, std::initializer_list<QByteArray> markers)
{
  double largest = 0;
  for (const QByteArray& marker : markers)
  {
    for (qsizetype at = text.indexOf(marker); at >= 0; at = text.indexOf(marker, at + 1))
    {
      double count = 0;
      for (qsizetype i = at + marker.size(); i < text.size() && text[i] >= '0' && text[i] <= '9';
           ++i)
      {
        count = count * 10 + (text[i] - '0');
      }
      largest = std::max(largest, count);
    }
  }
  if (largest > text.size())
  {
    return QStringLiteral("a count of %1 in a file of %2 bytes")
        .arg(largest, 0, 'f', 0)
        .arg(text.size());
  }
  return QString();
}

// Assimp's Collada reader dereferences the values of an array without a numeric count
// attribute, which Collada requires.
QString CheckColladaArrays(const QByteArray& text)
{
  for (const QByteArray tag :
       {"<float_array", "<int_array", "<bool_array", "<Name_array", "<IDREF_array"})
  {
    for (qsizetype at = text.indexOf(tag); at >= 0; at = text.indexOf(tag, at + 1))
    {
      const qsizetype end = text.indexOf('>', at);
      const QByteArray element = text.mid(at, end < 0 ? -1 : end - at);
      const qsizetype count = element.indexOf("count=");
      const qsizetype value = count + 7; // past count="
      const char first = count < 0 || value >= element.size() ? '\0' : element.at(value);
      if (first < '0' || first > '9')
      {
        return QStringLiteral("Collada %1> without count").arg(QString::fromLatin1(tag));
      }
    }
  }
  return QString();
}

QString CheckGltf(const GltfFile& file)
{
  // Assimp's JSON parser takes strings that are not UTF-8, which Qt's refuses: they are
  // made valid first.
  QJsonParseError error;
  const QJsonDocument json = QJsonDocument::fromJson(QString::fromUtf8(file.Json).toUtf8(), &error);
  if (!json.isObject())
  {
    return QStringLiteral("no glTF JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset);
  }
  const QJsonObject gltf = json.object();
  const std::function<QString()> checks[] = {[&] { return CheckSkins(gltf); },
                                             [&] { return CheckAccessors(gltf, file); },
                                             [&] { return CheckAttributes(gltf); },
                                             [&] { return CheckReferences(gltf); },
                                             [&] { return CheckLinesAndPoints(gltf, file); },
                                             [&] { return CheckImages(gltf); }};
  for (const auto& check : checks)
  {
    const QString reason = check();
    if (!reason.isEmpty())
    {
      return reason;
    }
  }
  return QString();
}
} // namespace

QString ReadGuard::ReasonNotToRead(const std::string& fileName)
{
  QFile file(QString::fromStdString(fileName));
  const QString suffix = QFileInfo(file).suffix().toLower();
  if (!file.open(QIODevice::ReadOnly))
  {
    return QString(); // Assimp reports that
  }
  if (suffix == "dae")
  {
    const QByteArray text = file.readAll();
    const QString reason = CheckCounts(text, {"count=\"", "count='"});
    return reason.isEmpty() ? CheckColladaArrays(text) : reason;
  }
  if (suffix == "fbx")
  {
    const bool binary = file.peek(18) == "Kaydara FBX Binary";
    return binary ? QString() : CheckCounts(file.readAll(), {"*"});
  }
  if (suffix != "glb" && suffix != "gltf")
  {
    return QString();
  }
  // A file that Assimp's glTF readers turn down is offered to every other reader, which
  // trust their input even less: a GLB must say so and hold glTF JSON.
  GltfFile gltf;
  if (suffix == "glb" && file.peek(4) != "glTF")
  {
    return QStringLiteral("no GLB header");
  }
  const QString reason = suffix == "glb" ? ReadGlb(file, gltf) : QString();
  if (!reason.isEmpty())
  {
    return reason;
  }
  if (suffix == "gltf")
  {
    gltf.Json = file.readAll();
  }
  return CheckGltf(gltf);
}

// Debian's Assimp is built with its assertions on, and a failed one aborts the process.
// The library calls this through its procedure linkage table, so the program's
// definition takes the place of the library's: a failed assertion becomes an exception,
// which Assimp's readers report as on a bad file, and the read fails with its text.
void Assimp::aiAssertViolation(const char* failedExpression, const char* file, int line)
{
  throw std::runtime_error(std::string("Assimp assertion failed: ") + failedExpression + " in " +
                           file + ":" + std::to_string(line));
}
