#include "platform/pulse/soundserver.h"

namespace veruziva::pulse {

// A watcher's hold on the server's events: while it lives, the watcher is told.
class SoundServer::Watch {
public:
    Watch(SoundServer& server, int id) : m_server(server), m_id(id) {}
    ~Watch() { m_server.forget(m_id); }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

private:
    SoundServer& m_server;
    int m_id;
};

std::shared_ptr<SoundServer> SoundServer::Find(std::string* reason,
                                               PulseConnection::Failure* failure) {
    std::shared_ptr<PulseConnection> connection =
        PulseConnection::Connect(AnswerTime, reason, failure);
    if (!connection) {
        return nullptr;
    }
    return std::make_shared<SoundServer>(std::move(connection));
}

SoundServer::SoundServer(std::shared_ptr<PulseConnection> connection) {
    install(std::move(connection));
    m_keeper = std::thread([this] { keepConnected(); });
}

SoundServer::~SoundServer() {
    {
        const std::lock_guard lock(m_wakeMutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_keeper.join();
    std::shared_ptr<PulseConnection> last;
    {
        const std::lock_guard lock(m_mutex);
        last = std::move(m_connection);
    }
    // Streams of a broken connection may keep it a little longer: nothing of it calls here.
    if (last) {
        last->setOnBroken(nullptr);
    }
    if (const std::shared_ptr<PulseConnection> subscribed = m_subscribed.lock()) {
        subscribed->unsubscribe(m_subscription);
    }
}

void SoundServer::install(std::shared_ptr<PulseConnection> connection) {
    if (connection) {
        connection->setOnBroken([this] { kick(); });
    }
    const std::lock_guard lock(m_mutex);
    m_connection = std::move(connection);
}

void SoundServer::kick() {
    {
        const std::lock_guard lock(m_wakeMutex);
        m_kicked = true;
    }
    m_wake.notify_all();
}

void SoundServer::keepConnected() {
    std::weak_ptr<PulseConnection> told;  // the connection the watchers last heard of
    bool wasLive = false;
    {
        const std::lock_guard lock(m_mutex);
        told = m_connection;
        wasLive = m_connection != nullptr;
    }
    std::unique_lock wake(m_wakeMutex);
    while (!m_stopping) {
        m_kicked = false;
        wake.unlock();
        std::shared_ptr<PulseConnection> now;
        {
            const std::lock_guard lock(m_mutex);
            now = m_connection;
        }
        bool live = now && now->ready();
        if (!live) {
            if (now) {
                const std::lock_guard lock(m_mutex);
                if (m_connection == now) {
                    m_connection.reset();
                }
            }
            if (wasLive) {
                wasLive = false;
                m_lastFailure = now && now->stalled() ? PulseConnection::Failure::NoAnswer
                                                      : PulseConnection::Failure::Refused;
                tellWatchers();  // gone
            }
            now = attempt(true);
            live = now != nullptr;
        }
        if (live && told.lock() != now) {
            // Back (connected here or by a call of the program's): the watchers follow.
            wasLive = true;
            told = now;
            bool watched = false;
            {
                const std::lock_guard lock(m_watchMutex);
                watched = !m_watchers.empty();
            }
            if (watched) {
                subscribe(now);
            }
            tellWatchers();
        }
        wake.lock();
        if (live) {
            m_wake.wait(wake, [this] { return m_stopping || m_kicked; });
        } else {
            // Asking more often would not bring the server back sooner.
            m_wake.wait_for(wake, RetryInterval, [this] { return m_stopping; });
        }
    }
}

std::shared_ptr<PulseConnection> SoundServer::attempt(bool wait) {
    std::unique_lock connecting(m_connectMutex, std::defer_lock);
    if (wait) {
        connecting.lock();
    } else if (!connecting.try_lock_for(AttemptWait)) {
        return nullptr;  // the keeper is still trying: it tells the watchers when it is through
    }
    {
        const std::lock_guard lock(m_mutex);
        if (m_connection && m_connection->ready()) {
            return m_connection;
        }
    }
    PulseConnection::Failure failure = PulseConnection::Failure::None;
    std::shared_ptr<PulseConnection> fresh =
        PulseConnection::Connect(AnswerTime, nullptr, &failure);
    m_lastFailure = failure;
    if (fresh) {
        install(fresh);
    }
    return fresh;
}

bool SoundServer::subscribe(const std::shared_ptr<PulseConnection>& connection) {
    const std::lock_guard lock(m_subscribeMutex);
    if (m_subscribed.lock() == connection) {
        return true;
    }
    const int subscription = connection->subscribeSources([this] { tellWatchers(); });
    if (subscription == 0) {
        return false;
    }
    m_subscribed = connection;
    m_subscription = subscription;
    return true;
}

void SoundServer::tellWatchers() {
    const std::lock_guard lock(m_watchMutex);
    for (const auto& [id, changed] : m_watchers) {
        changed();
    }
}

void SoundServer::forget(int watch) {
    // Once erased under this lock, that watcher is neither being told nor told again.
    const std::lock_guard lock(m_watchMutex);
    m_watchers.erase(watch);
}

std::shared_ptr<PulseConnection> SoundServer::connection() {
    std::shared_ptr<PulseConnection> live;
    {
        const std::lock_guard lock(m_mutex);
        live = m_connection;
    }
    if (live && live->ready()) {
        return live;
    }
    kick();
    if (live && live->stalled()) {
        m_lastFailure = PulseConnection::Failure::NoAnswer;
    }
    if (m_lastFailure == PulseConnection::Failure::NoAnswer) {
        return nullptr;  // a server that did not answer is not waited for here again
    }
    return attempt(false);
}

const std::vector<ListedSource>& SoundServer::sources() {
    std::shared_ptr<PulseConnection> live = connection();
    const std::lock_guard lock(m_mutex);
    if (!m_sources) {
        std::optional<std::vector<SourceInfo>> listed;
        if (live) {
            listed = live->sources();
        }
        m_sources = ListSources(InstrumentOrder(listed.value_or(std::vector<SourceInfo>{})));
    }
    return *m_sources;
}

std::optional<SourceInfo> SoundServer::source(const std::string& name) {
    std::shared_ptr<PulseConnection> live = connection();
    return live ? live->source(name) : std::nullopt;
}

bool SoundServer::apply(const std::string& name, const SourceChange& change) {
    std::shared_ptr<PulseConnection> live = connection();
    return live && live->apply(name, change);
}

std::shared_ptr<void> SoundServer::watchSources(std::function<void()> changed) {
    int id = 0;
    {
        const std::lock_guard lock(m_watchMutex);
        id = m_nextWatch++;
        m_watchers.emplace(id, std::move(changed));
    }
    auto watch = std::make_shared<Watch>(*this, id);
    // While no server answers, the watch waits for the next one.
    if (std::shared_ptr<PulseConnection> live = connection(); live && !subscribe(live)) {
        return nullptr;  // the server sends no events
    }
    return watch;
}

}  // namespace veruziva::pulse
