#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace veruziva {

// Writes the whole file with checked writes under a temporary name, renamed once complete; on
// failure the text for the user ("Could not save <file>: Disk full"), no part of the new file
// left and an existing file of that name as it was.
std::optional<QString> SaveFileChecked(const QString& path, const QByteArray& bytes);

}  // namespace veruziva
