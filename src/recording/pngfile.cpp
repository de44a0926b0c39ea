#include "recording/pngfile.h"

#include <QBuffer>
#include <QImage>

#include "platform/runtimeerror.h"
#include "recording/outputfile.h"

namespace veruziva {

void SavePng(const QImage& picture, const QString& path) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) {
        throw RuntimeError("the picture cannot be encoded");
    }
    OutputFile file;
    file.create(path);
    file.write(png.constData(), static_cast<std::size_t>(png.size()));
    file.close();
}

}  // namespace veruziva
