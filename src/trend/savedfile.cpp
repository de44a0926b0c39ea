#include "trend/savedfile.h"

#include "base/outputfile.h"
#include "platform/runtimeerror.h"

namespace veruziva {

std::optional<QString> SaveFileChecked(const QString& path, const QByteArray& bytes) {
    try {
        WriteWholeFile(path, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    } catch (const RuntimeError& error) {
        return QStringLiteral("Could not save %1: %2")
            .arg(path, QString::fromStdString(error.what()));
    }
    return std::nullopt;
}

}  // namespace veruziva
