#include "support/scriptedmessageboxes.h"

namespace veruziva::sim {

void ScriptedMessageBoxes::open() {
    if (whileOpen) {
        whileOpen();
    }
}

void ScriptedMessageBoxes::showMessage(const QString& text) {
    m_shown.append({Kind::Message, text});
    open();
}

Answer ScriptedMessageBoxes::confirm(const QString& text, ConfirmButtons buttons) {
    m_shown.append({Kind::Confirm, text, buttons});
    open();
    if (m_answers.empty()) {
        return buttons == ConfirmButtons::YesNo ? Answer::Yes : Answer::Ok;
    }
    const Answer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void ScriptedMessageBoxes::showError(const QString& text) {
    m_shown.append({Kind::Error, text});
    open();
}

QStringList ScriptedMessageBoxes::texts() const {
    QStringList result;
    for (const Shown& box : m_shown) {
        result.append(box.text);
    }
    return result;
}

}  // namespace veruziva::sim
