#include "scpi/scpistatus.h"

namespace veruziva {

namespace {

int EventBit(ScpiCode code) {
    const int number = -static_cast<int>(code);
    switch (number / 100) {
        case 1:
            return ScpiStatus::CommandError;
        case 2:
            return ScpiStatus::ExecutionError;
        case 3:
            return ScpiStatus::DeviceError;
        case 4:
            return ScpiStatus::QueryError;
        default:
            return 0;
    }
}

}  // namespace

void ScpiStatus::raise(const ScpiError& error) {
    if (error.code == ScpiCode::NoError) {
        return;
    }
    setEvents(EventBit(error.code));
    if (errorCount() < QueueSize) {
        m_errors.push_back({error.code, error.detail});
        return;
    }
    if (m_errors.back().code != ScpiCode::QueueOverflow) {
        m_errors.back() = {ScpiCode::QueueOverflow, {}};
        setEvents(DeviceError);
    }
}

QByteArray ScpiStatus::nextError() {
    Entry entry{ScpiCode::NoError, {}};
    if (!m_errors.empty()) {
        entry = std::move(m_errors.front());
        m_errors.pop_front();
    }
    QByteArray text = ScpiErrorText(entry.code);
    if (!entry.detail.isEmpty()) {
        text += ';' + entry.detail;
    }
    // A quote inside a string is written twice.
    text.replace('"', "\"\"");
    return QByteArray::number(static_cast<int>(entry.code)) + ",\"" + text + '"';
}

int ScpiStatus::takeEvents() {
    const int events = m_events;
    m_events = 0;
    return events;
}

int ScpiStatus::statusByte() const {
    int byte = 0;
    if (!m_errors.empty()) {
        byte |= ErrorAvailable;
    }
    if ((m_events & m_eventEnable) != 0) {
        byte |= EventSummary;
    }
    if ((byte & m_serviceRequestEnable) != 0) {
        byte |= MasterSummary;
    }
    return byte;
}

void ScpiStatus::clear() {
    m_errors.clear();
    m_events = 0;
}

}  // namespace veruziva
