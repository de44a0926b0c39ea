#include "platform/fatalerrors.h"

#include "platform/messageboxes.h"

namespace veruziva {

FatalErrors::FatalErrors(MessageBoxes& boxes, std::function<void()> requestEnd)
    : m_boxes(boxes), m_requestEnd(std::move(requestEnd)) {}

void FatalErrors::fail(const QString& message) {
    if (!m_endRequested) {
        m_endRequested = true;
        m_boxes.showMessage(message);
    }
    if (m_requestEnd) {
        m_requestEnd();
    }
}

}  // namespace veruziva
