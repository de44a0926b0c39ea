#pragma once

#include <cstdio>

#include "platform/messageboxes.h"

namespace veruziva::meter {

// Message boxes of a command-line tool: every text goes to the error stream, and every
// question is answered with No or Cancel.
class StreamMessageBoxes : public MessageBoxes {
public:
    explicit StreamMessageBoxes(std::FILE* err) : m_err(err) {}
    void showMessage(const QString& text) override;
    Answer confirm(const QString& text, ConfirmButtons buttons) override;
    void showError(const QString& text) override;

private:
    std::FILE* m_err;
};

}  // namespace veruziva::meter
