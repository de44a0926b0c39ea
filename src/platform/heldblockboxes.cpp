#include "platform/heldblockboxes.h"

namespace veruziva {

void HeldBlockBoxes::release() {
    if (m_holds > 0) {
        --m_holds;
    }
    // One at a time: a box's own event loop may hold and release another block meanwhile.
    while (m_holds == 0 && !m_waiting.empty()) {
        const std::function<void()> action = std::move(m_waiting.front());
        m_waiting.pop_front();
        action();
    }
}

void HeldBlockBoxes::later(std::function<void()> action) {
    if (m_holds > 0) {
        m_waiting.push_back(std::move(action));
    } else {
        action();
    }
}

void HeldBlockBoxes::showMessage(const QString& text) {
    later([this, text] { m_boxes.showMessage(text); });
}

void HeldBlockBoxes::showError(const QString& text) {
    later([this, text] { m_boxes.showError(text); });
}

}  // namespace veruziva
