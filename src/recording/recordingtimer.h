#pragma once

#include <QTimer>

#include "recording/recordingcontrol.h"

namespace veruziva {

// The recording's timer on a QTimer (the window's and the meter tool's).
class QtRecordingTimer : public RecordingTimer {
public:
    explicit QtRecordingTimer(QTimer& timer) : m_timer(timer) {}
    void start(int intervalMs) override { m_timer.start(intervalMs); }
    void stop() override { m_timer.stop(); }

private:
    QTimer& m_timer;
};

}  // namespace veruziva
