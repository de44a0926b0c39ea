#pragma once

#include <QString>
#include <optional>

namespace veruziva {

// Where the trend window asks for a file name to save to; the application answers with a
// file dialog, tests from a script.
class TrendFiles {
public:
    virtual ~TrendFiles();
    // A full path with its suffix (the dialog adds the filter's), or nothing when the user
    // cancels.
    virtual std::optional<QString> askSaveFileName(const QString& caption,
                                                   const QString& filter) = 0;
};

}  // namespace veruziva
