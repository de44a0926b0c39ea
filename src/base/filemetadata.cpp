#include "base/filemetadata.h"

namespace veruziva {
namespace {

QString OneLine(QString text) {
    return text.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

}  // namespace

QString ProgramVersion() {
    return QStringLiteral(VERUZIVA_VERSION);
}

QByteArray MetadataCommentLines(const FileMetadata& metadata) {
    QString text;
    for (const auto& [key, value] : metadata) {
        text += QStringLiteral("# ") + OneLine(key) + QStringLiteral(": ") + OneLine(value) +
                QLatin1Char('\n');
    }
    return text.toUtf8();
}

}  // namespace veruziva
