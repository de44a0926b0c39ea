#include "recording/pngfile.h"

#include <QBuffer>
#include <QImage>

#include "platform/runtimeerror.h"
#include "recording/outputfile.h"

namespace veruziva {

QByteArray PngBytes(const QImage& picture) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) {
        throw RuntimeError("the picture cannot be encoded");
    }
    return png;
}

void SavePng(const QImage& picture, const QString& path) {
    const QByteArray png = PngBytes(picture);
    WriteWholeFile(path, png.constData(), static_cast<std::size_t>(png.size()));
}

}  // namespace veruziva
