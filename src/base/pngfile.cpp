#include "base/pngfile.h"

#include <QBuffer>
#include <QImage>

#include "base/outputfile.h"
#include "platform/runtimeerror.h"

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
