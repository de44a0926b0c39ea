#pragma once

#include <QString>

namespace veruziva {

enum class ConfirmButtons { YesNo, OkCancel };
enum class Answer { Yes, No, Ok, Cancel };

// Every box the program shows goes through this interface, so that the logic runs in
// tests and tools without windows.
class MessageBoxes {
public:
    virtual ~MessageBoxes();

    // Plain message: the application's title as caption, no icon, one OK button.
    virtual void showMessage(const QString& text) = 0;
    // Confirmation: caption "Confirm", question icon, the given buttons.
    virtual Answer confirm(const QString& text, ConfirmButtons buttons) = 0;
    // The general error handler's box for a runtime error of an action.
    virtual void showError(const QString& text) = 0;
};

}  // namespace veruziva
