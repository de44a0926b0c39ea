#pragma once

#include <QByteArray>
#include <QString>

class QImage;

namespace veruziva {

// The picture encoded as PNG; throws RuntimeError when it cannot be.
QByteArray PngBytes(const QImage& picture);

// Writes the picture as a PNG file: encoded first, then written with checked system calls,
// because the image writer does not report a full disk, as WriteWholeFile does (no partial
// picture, an existing file untouched on failure). Throws RuntimeError with the reason when it
// cannot be encoded or written.
void SavePng(const QImage& picture, const QString& path);

}  // namespace veruziva
