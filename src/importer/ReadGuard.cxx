#include "ReadGuard.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

namespace
{
constexpr qint64 GlbHeaderSize = 12;
constexpr qint64 GlbChunkHeaderSize = 8;

QString CheckSkins(const QByteArray& json)
{
  // Assimp's JSON parser takes strings that are not UTF-8, which Qt's refuses: they are
  // made valid first.
  const QByteArray utf8 = QString::fromUtf8(json).toUtf8();
  const QJsonArray skins = QJsonDocument::fromJson(utf8).object().value("skins").toArray();
  for (qsizetype i = 0; i < skins.size(); ++i)
  {
    if (!skins.at(i).toObject().contains("inverseBindMatrices"))
    {
      return QStringLiteral("glTF skin %1 has no inverse bind matrices, which Assimp 5.2 cannot "
                            "read")
          .arg(i);
    }
  }
  return QString();
}

// The chunks that Assimp reads of a GLB, the JSON and the binary buffer, must fit in the
// file. A glTF 1.0 binary has only the JSON part, followed by its body.
QString CheckGlb(QFile& file, QByteArray& json)
{
  const qint64 size = file.size();
  if (size < GlbHeaderSize)
  {
    return QString(); // Assimp reports that
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
      json = file.read(length);
    }
    at = data + length;
  }
  return QString();
}
} // namespace

QString ReadGuard::ReasonNotToRead(const std::string& fileName)
{
  QFile file(QString::fromStdString(fileName));
  const QString suffix = QFileInfo(file).suffix().toLower();
  if ((suffix != "glb" && suffix != "gltf") || !file.open(QIODevice::ReadOnly))
  {
    return QString();
  }
  QByteArray json;
  if (file.peek(4) == "glTF")
  {
    const QString reason = CheckGlb(file, json);
    if (!reason.isEmpty())
    {
      return reason;
    }
  }
  else
  {
    json = file.readAll();
  }
  return CheckSkins(json);
}
