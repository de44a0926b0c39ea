#pragma once

#include <QList>
#include <QString>
#include <deque>
#include <functional>

#include "platform/messageboxes.h"

namespace veruziva::sim {

// Message boxes for tests and tools: records every box and answers confirmations from a
// script (OK or Yes when the script is empty).
class ScriptedMessageBoxes : public MessageBoxes {
public:
    enum class Kind { Message, Confirm, Error };
    struct Shown {
        Kind kind;
        QString text;
        ConfirmButtons buttons = ConfirmButtons::OkCancel;
    };

    void showMessage(const QString& text) override;
    Answer confirm(const QString& text, ConfirmButtons buttons) override;
    void showError(const QString& text) override;

    void queueAnswer(Answer answer) { m_answers.push_back(answer); }
    const QList<Shown>& shown() const { return m_shown; }
    QStringList texts() const;
    void clear() { m_shown.clear(); }
    // Runs while a box is open, as its own event loop would run the program's events.
    std::function<void()> whileOpen;

private:
    void open();

    QList<Shown> m_shown;
    std::deque<Answer> m_answers;
};

}  // namespace veruziva::sim
