#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace veruziva {

class MessageBoxes;
class TrendFiles;

// Writes the whole file with checked writes under a temporary name, renamed once complete; on
// failure the text for the user ("Could not save <file>: Disk full"), no part of the new file
// left and an existing file of that name as it was.
std::optional<QString> SaveFileChecked(const QString& path, const QByteArray& bytes);

// A window's "Save ...": asks where (the dialog's caption and filter), makes the bytes and saves
// them as above; a failure in making them (a picture's encoder) or in writing shows in an error
// box. Nothing happens when the user cancels.
void AskAndSave(TrendFiles& files, MessageBoxes& boxes, const QString& caption,
                const QString& filter, const std::function<QByteArray()>& bytes);

}  // namespace veruziva
