#include "instrument/inputwatchsink.h"

#include "capture/inputwatch.h"

namespace veruziva {

void InputWatchSink::blockMeasured(const MeasuredBlock& /*block*/) {
    m_watch.blockArrived();
}

}  // namespace veruziva
