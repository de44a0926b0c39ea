#pragma once

#include <QString>

class QImage;

namespace veruziva {

// Writes the picture as a PNG file: encoded first, then written with checked system calls,
// because the image writer does not report a full disk. Throws RuntimeError with the reason
// when it cannot be encoded or written.
void SavePng(const QImage& picture, const QString& path);

}  // namespace veruziva
