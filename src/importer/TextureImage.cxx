#include "TextureImage.h"

#include <vtkImageData.h>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cstring>

namespace
{
vtkSmartPointer<vtkImageData> NewImage(int width, int height, int components)
{
  auto image = vtkSmartPointer<vtkImageData>::New();
  image->SetDimensions(width, height, 1);
  image->AllocateScalars(VTK_UNSIGNED_CHAR, components);
  return image;
}

// The rows of a texture image go up from the bottom; files that store them from the
// top down are turned over.
void FlipRows(vtkImageData* image)
{
  const int* dimensions = image->GetDimensions();
  const std::size_t rowBytes =
      static_cast<std::size_t>(dimensions[0]) * image->GetNumberOfScalarComponents();
  auto* pixels = static_cast<unsigned char*>(image->GetScalarPointer());
  for (int top = 0, bottom = dimensions[1] - 1; top < bottom; ++top, --bottom)
  {
    std::swap_ranges(pixels + top * rowBytes, pixels + (top + 1) * rowBytes,
                     pixels + bottom * rowBytes);
  }
}

bool WithinAllocationLimit(qint64 width, qint64 height, int components)
{
  const qint64 limit = static_cast<qint64>(QImageReader::allocationLimit()) * 1024 * 1024;
  return limit == 0 || width * height * components <= limit;
}

vtkSmartPointer<vtkImageData> FromQImage(const QImage& decoded, QString& error)
{
  const bool alpha = decoded.hasAlphaChannel();
  const int components = alpha ? 4 : 3;
  const QImage image =
      decoded.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  if (image.isNull())
  {
    error = QStringLiteral("no memory to convert it");
    return nullptr;
  }
  auto result = NewImage(image.width(), image.height(), components);
  const std::size_t rowBytes = static_cast<std::size_t>(image.width()) * components;
  auto* out = static_cast<unsigned char*>(result->GetScalarPointer());
  for (int y = 0; y < image.height(); ++y)
  {
    std::memcpy(out + y * rowBytes, image.constScanLine(image.height() - 1 - y), rowBytes);
  }
  return result;
}

//------------------------------------------------------------------------------
// TGA: uncompressed and run-length encoded true colour (24 and 32 bits) and grey
// (8 bits) without colour map, the kinds that model exporters write.

constexpr int TgaHeaderSize = 18;

enum TgaImageType
{
  TgaTrueColor = 2,
  TgaGrey = 3,
  TgaRunLengthTrueColor = 10,
  TgaRunLengthGrey = 11
};

class TgaDecoder
{
public:
  explicit TgaDecoder(const QByteArray& bytes)
      : Data(reinterpret_cast<const unsigned char*>(bytes.constData())),
        Size(static_cast<std::size_t>(bytes.size()))
  {
  }

  bool IsReadableTga() const
  {
    if (this->Size < TgaHeaderSize || this->Data[1] != 0)
    {
      return false;
    }
    const int depth = this->Data[16];
    switch (this->Data[2])
    {
    case TgaTrueColor:
    case TgaRunLengthTrueColor:
      return depth == 24 || depth == 32;
    case TgaGrey:
    case TgaRunLengthGrey:
      return depth == 8;
    default:
      return false;
    }
  }

  vtkSmartPointer<vtkImageData> Decode(QString& error) const
  {
    const int width = this->Read16(12);
    const int height = this->Read16(14);
    const int components = this->Data[16] / 8;
    if (width == 0 || height == 0 || !WithinAllocationLimit(width, height, components))
    {
      error = QStringLiteral("TGA image of %1x%2 pixels").arg(width).arg(height);
      return nullptr;
    }
    auto image = NewImage(width, height, components);
    if (!this->DecodePixels(static_cast<unsigned char*>(image->GetScalarPointer()),
                            static_cast<std::size_t>(width) * height, components))
    {
      error = QStringLiteral("TGA image data ends early");
      return nullptr;
    }
    const bool topDown = this->Data[17] & 0x20;
    if (topDown)
    {
      FlipRows(image);
    }
    return image;
  }

private:
  int Read16(std::size_t at) const { return this->Data[at] | this->Data[at + 1] << 8; }

  // False when the bytes end before the last pixel.
  bool DecodePixels(unsigned char* out, std::size_t pixels, int components) const
  {
    const bool runLength =
        this->Data[2] == TgaRunLengthTrueColor || this->Data[2] == TgaRunLengthGrey;
    std::size_t in = TgaHeaderSize + this->Data[0];
    while (pixels > 0)
    {
      std::size_t count = pixels;
      bool repeat = false;
      if (runLength)
      {
        if (in >= this->Size)
        {
          return false;
        }
        const unsigned char packet = this->Data[in++];
        count = std::min<std::size_t>((packet & 0x7f) + 1, pixels);
        repeat = packet & 0x80;
      }
      const std::size_t stored = (repeat ? 1 : count) * components;
      if (in > this->Size || this->Size - in < stored)
      {
        return false;
      }
      for (std::size_t i = 0; i < count; ++i, out += components)
      {
        this->CopyPixel(in + (repeat ? 0 : i * components), components, out);
      }
      in += stored;
      pixels -= count;
    }
    return true;
  }

  // TGA stores blue, green, red (and alpha).
  void CopyPixel(std::size_t in, int components, unsigned char* out) const
  {
    std::copy_n(this->Data + in, components, out);
    if (components >= 3)
    {
      std::swap(out[0], out[2]);
    }
  }

  const unsigned char* Data;
  std::size_t Size;
};
} // namespace

//------------------------------------------------------------------------------
vtkSmartPointer<vtkImageData> TextureImage::Decode(const QByteArray& bytes, QString& error)
{
  QByteArray copy = bytes;
  QBuffer buffer(&copy);
  QImageReader reader(&buffer);
  const QImage image = reader.read();
  if (!image.isNull())
  {
    return FromQImage(image, error);
  }
  const TgaDecoder tga(bytes);
  if (tga.IsReadableTga())
  {
    return tga.Decode(error);
  }
  error = reader.errorString();
  return nullptr;
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkImageData> TextureImage::Read(const QString& fileName, QString& error)
{
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
  {
    error = file.errorString();
    return nullptr;
  }
  return Decode(file.readAll(), error);
}

QByteArray TextureImage::EncodePng(const unsigned char* texels, int width, int height)
{
  const QImage image(texels, width, height, QImage::Format_ARGB32);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return png;
}
