#pragma once

#include <QString>
#include <functional>

namespace veruziva {

class MessageBoxes;

// Failures that end the program: the first one is shown and the end is requested; the
// current sequence of steps runs on, and later failures are not shown (their box would
// close at once), so the user sees the first message.
class FatalErrors {
public:
    FatalErrors(MessageBoxes& boxes, std::function<void()> requestEnd);

    void fail(const QString& message);
    bool endRequested() const { return m_endRequested; }
    // The end has been requested by other means (the Close button, say).
    void noteEndRequested() { m_endRequested = true; }

private:
    MessageBoxes& m_boxes;
    std::function<void()> m_requestEnd;
    bool m_endRequested = false;
};

}  // namespace veruziva
