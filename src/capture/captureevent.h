#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <chrono>

#include "platform/waveinput.h"

namespace veruziva {

// The wave-input service's notification, carried to the program's thread as an event.
class CaptureEvent : public QEvent {
public:
    using Clock = std::chrono::steady_clock;

    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    CaptureEvent(WaveInHandle handle, WaveInEvent kind)
        : QEvent(EventType()), m_handle(handle), m_kind(kind), m_posted(Clock::now()) {}

    WaveInHandle handle() const { return m_handle; }
    WaveInEvent kind() const { return m_kind; }
    Clock::time_point posted() const { return m_posted; }

private:
    WaveInHandle m_handle;
    WaveInEvent m_kind;
    Clock::time_point m_posted;
};

// A notify function that posts each notification to the receiver; safe from any thread.
inline WaveInNotify PostTo(QObject* receiver) {
    return [receiver](WaveInHandle handle, WaveInEvent kind) {
        QCoreApplication::postEvent(receiver, new CaptureEvent(handle, kind));
    };
}

}  // namespace veruziva
