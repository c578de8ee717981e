/**
 * Decodes the image files that models embed or name into the images that textures
 * take: rows from the bottom up, 8-bit grey, RGB or RGBA.
 *
 * Model files come from anywhere, and so do their images. VTK's readers trust the
 * bytes (a damaged PNG ends in a crash inside the PNG reader's clean-up, a short TGA
 * is read past its end), so images never reach them: Qt's image reader, which fails
 * with a reason, decodes every format it knows, and TGA, which Qt's base set lacks,
 * has a decoder here that checks every size against the bytes it has. Both refuse
 * images larger than Qt's allocation limit.
 */

#ifndef TextureImage_h
#define TextureImage_h

#include <vtkSmartPointer.h>

#include <QByteArray>
#include <QString>

class vtkImageData;

namespace TextureImage
{
/**
 * The image the bytes hold, or null with the reason in error.
 */
vtkSmartPointer<vtkImageData> Decode(const QByteArray& bytes, QString& error);

/**
 * The image in the file, or null with the reason in error.
 */
vtkSmartPointer<vtkImageData> Read(const QString& fileName, QString& error);

/**
 * A PNG file of raw texels as Assimp holds them: 32-bit BGRA, rows from the top.
 */
QByteArray EncodePng(const unsigned char* texels, int width, int height);
} // namespace TextureImage

#endif
