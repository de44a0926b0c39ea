#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace veruziva {

// SIGTERM, SIGHUP and SIGINT (a desktop logging out, a terminal closed, Ctrl+C) end the
// program the way its Close button does, so that a recording in progress is completed with
// a true file. The handler only writes to a pipe; the event loop reads it and acts. SIGPIPE is
// ignored meanwhile: a write to a closed pipe is an error the writer handles.
class EndSignals : public QObject {
public:
    explicit EndSignals(std::function<void()> onSignal);
    ~EndSignals() override;
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

private:
    void received();

    std::function<void()> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace veruziva
