#pragma once

#include <deque>
#include <functional>

#include "platform/messageboxes.h"

namespace veruziva {

// Boxes raised while the program holds a capture block. A box runs an event loop of its own,
// in which the capture goes on and further blocks are handled; so while a block is held, the
// boxes it gives rise to (and what must follow them, such as the end of the program) wait, in
// order, until the block has been given back.
class HeldBlockBoxes : public MessageBoxes {
public:
    explicit HeldBlockBoxes(MessageBoxes& boxes) : m_boxes(boxes) {}

    // A block is taken; boxes wait from now on.
    void hold() { ++m_holds; }
    // The block is given back; what waited runs now, oldest first.
    void release();
    bool held() const { return m_holds > 0; }
    // Runs the action now, or once the block is given back.
    void later(std::function<void()> action);

    void showMessage(const QString& text) override;
    void showError(const QString& text) override;
    // A question needs its answer at once; none is asked while a block is held.
    Answer confirm(const QString& text, ConfirmButtons buttons) override {
        return m_boxes.confirm(text, buttons);
    }

private:
    MessageBoxes& m_boxes;
    int m_holds = 0;
    std::deque<std::function<void()>> m_waiting;
};

}  // namespace veruziva
