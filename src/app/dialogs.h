#pragma once

#include <QString>

#include "platform/messageboxes.h"

namespace veruziva {

// Every message box and modal dialog of the program, behind one interface so that the window
// runs in tests without anything blocking.
class Dialogs : public MessageBoxes {
public:
    // The about box.
    virtual void showAbout() = 0;
    // The help file at a topic; does nothing when there is no help file.
    virtual void showHelp(const QString& topic) = 0;
};

// The application's title, the caption of every plain message box.
inline constexpr const char* ApplicationTitle = "Veruziva and multimeter";

}  // namespace veruziva
