#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/pulse/pulsesources.h"
#include "platform/pulse/sourcemixer.h"

struct pa_context;
struct pa_operation;
struct pa_threaded_mainloop;

namespace veruziva::pulse {

// A connection to the desktop's sound server (PulseAudio, or PipeWire's PulseAudio service),
// run by a thread of the client library's own. Connecting never starts a server.
class PulseConnection {
public:
    // Connects, waiting at most `timeout` for the server's answer; nothing (and the reason) when
    // no server answers.
    static std::shared_ptr<PulseConnection> Connect(std::chrono::milliseconds timeout,
                                                    std::string* reason = nullptr);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // False once the server has gone away or closed the connection.
    bool ready();

    // Every source, in the server's order; nothing when the connection is broken.
    std::optional<std::vector<SourceInfo>> sources();
    std::optional<SourceInfo> source(const std::string& name);
    // Carries out a change on a source in its order; false when the server refused a step.
    bool apply(const std::string& sourceName, const SourceChange& change);

    // Calls `changed` on the client library's thread each time a source is added, changed or
    // removed, until unsubscribed; 0 when the server refuses to send these events.
    using SourcesChanged = std::function<void()>;
    int subscribeSources(SourcesChanged changed);
    // Once this returns, that callback is not running and is not called again.
    void unsubscribe(int subscription);

    pa_threaded_mainloop* mainloop() const { return m_mainloop; }
    pa_context* context() const { return m_context; }
    // With the mainloop locked: waits until the operation has run (or the connection broke),
    // then releases it; false when it did not complete.
    bool wait(pa_operation* operation);

private:
    PulseConnection() = default;
    std::optional<std::vector<SourceInfo>> list(const std::string* name);

    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_context* m_context = nullptr;
    bool m_timedOut = false;
    bool m_subscribed = false;
    std::map<int, SourcesChanged> m_subscribers;  // with the mainloop locked
    int m_nextSubscription = 1;
};

// Holds the mainloop's lock for a scope (the lock is recursive).
class MainloopLock {
public:
    explicit MainloopLock(pa_threaded_mainloop* mainloop);
    ~MainloopLock();
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

private:
    pa_threaded_mainloop* m_mainloop;
};

}  // namespace veruziva::pulse
