#pragma once

#include <QString>
#include <optional>

class QWidget;

#include "calibration/calibrationprocedure.h"
#include "platform/messageboxes.h"
#include "recording/capturedefinition.h"
#include "trend/trendfiles.h"

namespace veruziva {

// Every message box and modal dialog of the program, behind one interface so that the window
// runs in tests without anything blocking.
// The names of files to save (pictures, the trend's exports) are asked through TrendFiles.
class Dialogs : public MessageBoxes, public ValueEntry, public TrendFiles {
public:
    // The about box.
    virtual void showAbout() = 0;
    // The help file at a topic; does nothing when there is no help file.
    virtual void showHelp(const QString& topic) = 0;

    // The capture definition dialog: shown modally; what it holds; its record type locked
    // while a recording runs.
    virtual void showCaptureDefinition() = 0;
    virtual CaptureDefinition captureDefinition() const = 0;
    virtual void setRecordTypeEnabled(bool enabled) = 0;
    // A line of text asked for, `text` offered; none when cancelled.
    virtual std::optional<QString> askText(const QString& caption, const QString& label,
                                           const QString& text) = 0;

    // The program's start: the window boxes belong to, the dialogs that live for the whole
    // run created after it, and the end requested (no box is shown after that).
    virtual void setMainWindow(QWidget* /*window*/) {}
    virtual void createWindows() {}
    virtual void setEnding(bool /*ending*/) {}
};

// The application's title, the caption of every plain message box.
inline constexpr const char* ApplicationTitle = "Veruziva and multimeter";

}  // namespace veruziva
