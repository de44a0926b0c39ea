#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/pulse/pulseconnection.h"
#include "platform/pulse/pulsesources.h"

namespace veruziva::pulse {

// The sound server as the wave-input and mixer services share it: a connection, and its
// sources, listed once for the run so that device and mixer numbers stay fixed and name the
// same sources.
//
// When the server goes away (killed, restarted, stopped), a thread of this object's own
// connects again, off the program's thread: at once, then every RetryInterval, each attempt
// bounded by AnswerTime. The watchers of the sources are told when the server goes and when it
// is back, and follow it to the new connection. The program's own calls try once themselves
// when the server was last seen refusing (that answer comes at once), never when it was last
// seen not answering: then they fail at once.
class SoundServer : public SourceAccess {
public:
    // The server that answers now; nothing (and the reason) when none does.
    static std::shared_ptr<SoundServer> Find(std::string* reason = nullptr,
                                             PulseConnection::Failure* failure = nullptr);
    explicit SoundServer(std::shared_ptr<PulseConnection> connection);
    ~SoundServer() override;
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // The live connection; nothing while no server answers.
    std::shared_ptr<PulseConnection> connection();
    // The sources in the instrument's order, with their device names.
    const std::vector<ListedSource>& sources() override;
    std::optional<SourceInfo> source(const std::string& name) override;
    bool apply(const std::string& name, const SourceChange& change) override;
    std::shared_ptr<void> watchSources(std::function<void()> changed) override;

    static constexpr std::chrono::milliseconds AnswerTime{2000};
    static constexpr std::chrono::milliseconds RetryInterval{500};
    // How long a call of the program's waits for the keeper's attempt under way: one that is
    // refused, or succeeds, takes a few milliseconds; one to a server that does not answer is
    // not waited for.
    static constexpr std::chrono::milliseconds AttemptWait{100};

private:
    class Watch;
    void keepConnected();
    std::shared_ptr<PulseConnection> attempt(bool wait);
    void install(std::shared_ptr<PulseConnection> connection);
    bool subscribe(const std::shared_ptr<PulseConnection>& connection);
    void tellWatchers();
    void kick();
    void forget(int watch);

    std::mutex m_mutex;  // the connection and the sources; never held by a server callback
    std::shared_ptr<PulseConnection> m_connection;
    std::optional<std::vector<ListedSource>> m_sources;

    std::timed_mutex m_connectMutex;  // one attempt at a time
    std::atomic<PulseConnection::Failure> m_lastFailure{PulseConnection::Failure::None};

    std::mutex m_subscribeMutex;
    std::weak_ptr<PulseConnection> m_subscribed;  // the connection whose events are watched
    int m_subscription = 0;

    std::mutex m_watchMutex;  // the watchers; held while they are told
    std::map<int, std::function<void()>> m_watchers;
    int m_nextWatch = 1;

    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_kicked = false;
    bool m_stopping = false;
    std::thread m_keeper;
};

}  // namespace veruziva::pulse
