#pragma once

#include <QByteArray>
#include <QString>

#include "base/filemetadata.h"

class QImage;

namespace veruziva {

// The picture encoded as PNG, each pair of the metadata a text chunk; throws RuntimeError when it
// cannot be.
QByteArray PngBytes(const QImage& picture, const FileMetadata& metadata = {});

// Writes the picture as a PNG file: encoded first, then written with checked system calls,
// because the image writer does not report a full disk, as WriteWholeFile does (no partial
// picture, an existing file untouched on failure). Throws RuntimeError with the reason when it
// cannot be encoded or written.
void SavePng(const QImage& picture, const QString& path, const FileMetadata& metadata = {});

}  // namespace veruziva
