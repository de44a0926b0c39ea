#include "trend/savedfile.h"

#include "base/outputfile.h"
#include "platform/messageboxes.h"
#include "platform/runtimeerror.h"
#include "trend/trendfiles.h"

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

void AskAndSave(TrendFiles& files, MessageBoxes& boxes, const QString& caption,
                const QString& filter, const std::function<QByteArray()>& bytes) {
    const std::optional<QString> name = files.askSaveFileName(caption, filter);
    if (!name) {
        return;
    }
    std::optional<QString> error;
    try {
        error = SaveFileChecked(*name, bytes());
    } catch (const RuntimeError& failure) {
        error = QStringLiteral("Could not save %1: %2")
                    .arg(*name, QString::fromStdString(failure.what()));
    }
    if (error) {
        boxes.showError(*error);
    }
}

}  // namespace veruziva
