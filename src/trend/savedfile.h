#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace veruziva {

// Writes the whole file with checked writes; on failure the text for the user ("Could not
// save <file>: Disk full"), the file being left as far as it got.
std::optional<QString> SaveFileChecked(const QString& path, const QByteArray& bytes);

}  // namespace veruziva
