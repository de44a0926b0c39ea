#pragma once

#include <QByteArray>
#include <deque>

#include "scpi/scpierror.h"

namespace veruziva {

// One client's IEEE 488.2 status: the error/event queue, the standard event status register
// (ESR) and its enable register (ESE), the service request enable register (SRE), and the status
// byte made from them. Bits not modelled stay 0: ESR's request control, user request and power
// on; the status byte's message available (a response is written at once, never waits to be
// read).
class ScpiStatus {
public:
    // Entries the error queue holds, the overflow's included.
    static constexpr int QueueSize = 20;

    // ESR bits.
    static constexpr int OperationComplete = 0x01;
    static constexpr int QueryError = 0x04;
    static constexpr int DeviceError = 0x08;
    static constexpr int ExecutionError = 0x10;
    static constexpr int CommandError = 0x20;

    // Status byte bits.
    static constexpr int ErrorAvailable = 0x04;
    static constexpr int EventSummary = 0x20;
    static constexpr int MasterSummary = 0x40;

    // Queues the error and sets its class's ESR bit. A full queue keeps its oldest errors: its
    // newest entry becomes -350 "Queue overflow" and the new error is lost (its bit is set).
    void raise(const ScpiError& error);
    // The oldest error, removed, as SYSTem:ERRor? answers: -113,"Undefined header", or
    // 0,"No error" when there is none.
    QByteArray nextError();
    int errorCount() const { return static_cast<int>(m_errors.size()); }

    void setEvents(int bits) { m_events |= bits & 0xFF; }
    // *ESR?: the register, cleared by reading it.
    int takeEvents();
    int eventEnable() const { return m_eventEnable; }
    void setEventEnable(int bits) { m_eventEnable = bits & 0xFF; }
    int serviceRequestEnable() const { return m_serviceRequestEnable; }
    // Bit 6 cannot request service: it is the summary itself.
    void setServiceRequestEnable(int bits) { m_serviceRequestEnable = bits & 0xBF; }
    // *STB?: error available (bit 2), event summary (bit 5: ESR & ESE), master summary (bit 6:
    // any bit of the byte that SRE enables).
    int statusByte() const;
    // *CLS: the queue and ESR emptied; the enable registers stay.
    void clear();

private:
    struct Entry {
        ScpiCode code;
        QByteArray detail;
    };
    std::deque<Entry> m_errors;
    int m_events = 0;
    int m_eventEnable = 0;
    int m_serviceRequestEnable = 0;
};

}  // namespace veruziva
