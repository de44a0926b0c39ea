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
//
// Every wait for the server is bounded: a server that is stopped or hung still holds its socket
// open, and the client library would wait for it for half a minute. A connection whose server
// has not answered within the bound counts as broken from then on, like one the server closed.
class PulseConnection {
public:
    // Why a connection could not be made.
    enum class Failure {
        None,
        Refused,   // no server there, or it said no
        NoAnswer,  // a server is there but did not answer in time (stopped, hung)
    };
    // Connects, waiting at most `timeout` for the server's answer, which is then the bound of
    // every later wait; nothing (and the reason) when no server answers.
    static std::shared_ptr<PulseConnection> Connect(std::chrono::milliseconds timeout,
                                                    std::string* reason = nullptr,
                                                    Failure* failure = nullptr);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // False once the server has gone away, closed the connection or did not answer in time.
    bool ready();
    // The server did not answer a request in time.
    bool stalled();
    // Called once when the connection breaks, on any thread, with the mainloop locked: it must
    // neither block nor call back into this connection.
    void setOnBroken(std::function<void()> broken);

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
    // With the mainloop locked: waits until the operation has run (or the connection broke, or
    // the server did not answer in time), then releases it; false when it did not complete.
    bool wait(pa_operation* operation);
    // With the mainloop locked: waits until `done` holds, or the connection broke, or the
    // server did not answer in time (the connection then counts as broken); false unless done.
    bool waitUntil(const std::function<bool()>& done);

private:
    PulseConnection() = default;
    std::optional<std::vector<SourceInfo>> list(const std::string* name);
    static void OnContextState(pa_context* context, void* self);
    void broke();  // with the mainloop locked

    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_context* m_context = nullptr;
    std::chrono::milliseconds m_answerTime{0};
    bool m_stalled = false;  // the server did not answer a request in time
    bool m_broken = false;   // told once
    std::function<void()> m_onBroken;
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
