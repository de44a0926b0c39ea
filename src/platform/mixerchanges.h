#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "platform/mixerservice.h"

namespace veruziva {

// Every control's values of an open mixer, by control id.
using ControlValues = std::map<std::uint32_t, std::vector<std::int32_t>>;

// Reads every control of every line of an open mixer through the service, as the component
// would: a uniform control as one channel, a multiple-item control with its items.
ControlValues ReadControlValues(MixerService& service, MixerHandle handle);

// Which controls differ from the last look: for services whose own events say only that
// something changed, not what.
class ControlValueTracker {
public:
    // Takes the values as they are now, reporting nothing.
    void reset(ControlValues now) { m_values = std::move(now); }
    // The controls whose values differ from the last look, new and vanished ones included,
    // in id order; then remembers these values.
    std::vector<std::uint32_t> update(ControlValues now);

private:
    ControlValues m_values;
};

// Brings a mixer's change messages to the thread that opened it: readable descriptors watched
// by that thread's event loop, and wake-ups posted from any thread. `pump` runs on that thread,
// from its event loop, and never after close(). Made only where an event loop can run.
class MixerChangeWatch : public QObject {
public:
    explicit MixerChangeWatch(std::function<void()> pump);
    // True when the calling thread has an event loop to deliver messages with.
    static bool Possible();

    void watchDescriptor(int fd);
    // Runs pump soon, once however often it is asked for meanwhile; from any thread.
    void wake();
    // No pump from here on, and the object is gone (once its pump has returned, when called
    // from inside it).
    void close();

private:
    void run();

    std::function<void()> m_pump;
    std::vector<QSocketNotifier*> m_notifiers;
    std::atomic<bool> m_woken{false};
    int m_running = 0;
};

}  // namespace veruziva
