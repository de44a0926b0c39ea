#include "streammessageboxes.h"

#include "blockprinter.h"

namespace veruziva::meter {

void StreamMessageBoxes::showMessage(const QString& text) {
    Print(m_err, QStringLiteral("veruziva-meter: %1\n").arg(text));
}

Answer StreamMessageBoxes::confirm(const QString& text, ConfirmButtons buttons) {
    showMessage(text);
    return buttons == ConfirmButtons::YesNo ? Answer::No : Answer::Cancel;
}

void StreamMessageBoxes::showError(const QString& text) {
    showMessage(text);
}

}  // namespace veruziva::meter
