#include "trend/savedfile.h"

#include "platform/runtimeerror.h"
#include "recording/outputfile.h"

namespace veruziva {

std::optional<QString> SaveFileChecked(const QString& path, const QByteArray& bytes) {
    try {
        OutputFile file;
        file.create(path);
        file.write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        file.sync();
        file.close();
    } catch (const RuntimeError& error) {
        return QStringLiteral("Could not save %1: %2")
            .arg(path, QString::fromStdString(error.what()));
    }
    return std::nullopt;
}

}  // namespace veruziva
