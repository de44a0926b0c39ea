#include "base/pngfile.h"

#include <QBuffer>
#include <QImage>

#include "base/outputfile.h"
#include "platform/runtimeerror.h"

namespace veruziva {

QByteArray PngBytes(const QImage& picture, const FileMetadata& metadata) {
    QImage described = picture;
    for (const auto& [key, value] : metadata) {
        described.setText(key, value);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!described.save(&buffer, "PNG")) {
        throw RuntimeError("the picture cannot be encoded");
    }
    return png;
}

void SavePng(const QImage& picture, const QString& path, const FileMetadata& metadata) {
    const QByteArray png = PngBytes(picture, metadata);
    WriteWholeFile(path, png.constData(), static_cast<std::size_t>(png.size()));
}

}  // namespace veruziva
