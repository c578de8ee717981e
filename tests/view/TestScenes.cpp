#include "TestScenes.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <vector>

namespace ML::Test
{
namespace
{
constexpr int FloatComponent = 5126;

// The binary part of a scene: float data with one accessor per block.
class Buffer
{
public:
  int addAccessor(const std::vector<float>& values, const QString& type, int components)
  {
    const int offset = static_cast<int>(this->Values.size() * sizeof(float));
    this->Values.insert(this->Values.end(), values.begin(), values.end());
    QJsonArray min;
    QJsonArray max;
    for (int c = 0; c < components; ++c)
    {
      float low = values[c];
      float high = values[c];
      for (size_t i = c; i < values.size(); i += components)
      {
        low = std::min(low, values[i]);
        high = std::max(high, values[i]);
      }
      min.append(low);
      max.append(high);
    }
    const int byteLength = static_cast<int>(values.size() * sizeof(float));
    this->Views.append(
        QJsonObject{{"buffer", 0}, {"byteOffset", offset}, {"byteLength", byteLength}});
    this->Accessors.append(QJsonObject{{"bufferView", this->Views.size() - 1},
                                       {"componentType", FloatComponent},
                                       {"count", static_cast<int>(values.size()) / components},
                                       {"type", type},
                                       {"min", min},
                                       {"max", max}});
    return static_cast<int>(this->Accessors.size()) - 1;
  }

  int addTriangle() { return addAccessor({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3", 3); }

  void storeIn(QJsonObject& document) const
  {
    const QByteArray bytes(reinterpret_cast<const char*>(this->Values.data()),
                           static_cast<qsizetype>(this->Values.size() * sizeof(float)));
    document["buffers"] = QJsonArray{
        QJsonObject{{"byteLength", bytes.size()},
                    {"uri", QString("data:application/octet-stream;base64," + bytes.toBase64())}}};
    document["bufferViews"] = this->Views;
    document["accessors"] = this->Accessors;
  }

private:
  std::vector<float> Values;
  QJsonArray Views;
  QJsonArray Accessors;
};

QJsonObject meshOf(int primitives, int positions)
{
  QJsonArray list;
  for (int i = 0; i < primitives; ++i)
  {
    list.append(QJsonObject{{"attributes", QJsonObject{{"POSITION", positions}}}});
  }
  return QJsonObject{{"primitives", list}};
}

QString write(const QString& path, const QJsonObject& document)
{
  QFile file(path);
  file.open(QIODevice::WriteOnly | QIODevice::Truncate);
  file.write(QJsonDocument(document).toJson());
  return path;
}

QJsonObject newDocument(const QJsonArray& rootNodes)
{
  return QJsonObject{{"asset", QJsonObject{{"version", "2.0"}}},
                     {"scene", 0},
                     {"scenes", QJsonArray{QJsonObject{{"nodes", rootNodes}}}}};
}

QJsonObject lampNode(const QString& name, int light, const QJsonArray& translation)
{
  return QJsonObject{
      {"name", name},
      {"translation", translation},
      {"extensions", QJsonObject{{"KHR_lights_punctual", QJsonObject{{"light", light}}}}}};
}
} // namespace

QString writeTreeScene(const QString& dir)
{
  Buffer buffer;
  const int triangle = buffer.addTriangle();
  QJsonObject document = newDocument({0, 1});
  document["nodes"] = QJsonArray{QJsonObject{{"name", "A"}, {"mesh", 0}},
                                 QJsonObject{{"name", "B"}, {"children", QJsonArray{2}}},
                                 QJsonObject{{"name", "C"}, {"mesh", 1}}};
  document["meshes"] = QJsonArray{meshOf(1, triangle), meshOf(2, triangle)};
  buffer.storeIn(document);
  return write(dir + "/tree.gltf", document);
}

QString writeLightScene(const QString& dir)
{
  Buffer buffer;
  const int triangle = buffer.addTriangle();
  QJsonObject document = newDocument({0, 1, 2});
  document["nodes"] =
      QJsonArray{QJsonObject{{"name", "Cube"}, {"mesh", 0}}, lampNode("WhiteLamp", 0, {7, 8, 9}),
                 lampNode("HotLamp", 1, {-1, 2, -3})};
  document["meshes"] = QJsonArray{meshOf(1, triangle)};
  document["extensionsUsed"] = QJsonArray{"KHR_lights_punctual"};
  document["extensions"] = QJsonObject{
      {"KHR_lights_punctual",
       QJsonObject{{"lights", QJsonArray{QJsonObject{{"type", "point"},
                                                     {"color", QJsonArray{1, 1, 1}},
                                                     {"intensity", 1}},
                                         QJsonObject{{"type", "point"},
                                                     {"color", QJsonArray{1, 0.03125, 0.0078125}},
                                                     {"intensity", 256}}}}}}};
  buffer.storeIn(document);
  return write(dir + "/lights.gltf", document);
}

QString writeStillAnimationScene(const QString& dir)
{
  Buffer buffer;
  const int triangle = buffer.addTriangle();
  const int times = buffer.addAccessor({0}, "SCALAR", 1);
  const int positions = buffer.addAccessor({1, 2, 3}, "VEC3", 3);
  QJsonObject document = newDocument({0});
  document["nodes"] = QJsonArray{QJsonObject{{"name", "Mover"}, {"mesh", 0}}};
  document["meshes"] = QJsonArray{meshOf(1, triangle)};
  document["animations"] = QJsonArray{QJsonObject{
      {"name", "Still"},
      {"samplers", QJsonArray{QJsonObject{{"input", times}, {"output", positions}}}},
      {"channels",
       QJsonArray{QJsonObject{{"sampler", 0},
                              {"target", QJsonObject{{"node", 0}, {"path", "translation"}}}}}}}};
  buffer.storeIn(document);
  return write(dir + "/still.gltf", document);
}

QString writeBrokenModel(const QString& dir)
{
  const QString path = dir + "/broken.glb";
  QFile file(path);
  file.open(QIODevice::WriteOnly | QIODevice::Truncate);
  file.write("this is not a model");
  return path;
}
} // namespace ML::Test
