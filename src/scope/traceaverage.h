#pragma once

#include "scope/acquisition.h"

namespace veruziva {

// The average of triggered acquisitions, sample by sample: of all so far up to `count`, then
// each new one weighs 1/count, so that the trace follows a change. Each is brought onto the
// first one's samples by its trigger's fraction of a sample; the average keeps the first's left
// edge and takes the newest's first frame.
class TraceAverage {
public:
    void setCount(int count);
    int count() const { return m_count; }
    void reset();
    void add(const Acquisition& acquisition);
    // Empty until the first acquisition.
    const Acquisition& result() const { return m_result; }

private:
    int m_count = 1;
    Acquisition m_result;
};

}  // namespace veruziva
