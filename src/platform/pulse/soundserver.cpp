#include "platform/pulse/soundserver.h"

namespace veruziva::pulse {

std::shared_ptr<SoundServer> SoundServer::Find(std::string* reason) {
    std::shared_ptr<PulseConnection> connection = PulseConnection::Connect(AnswerTime, reason);
    if (!connection) {
        return nullptr;
    }
    return std::make_shared<SoundServer>(std::move(connection));
}

SoundServer::SoundServer(std::shared_ptr<PulseConnection> connection)
    : m_connection(std::move(connection)) {}

std::shared_ptr<PulseConnection> SoundServer::connection() {
    const std::lock_guard lock(m_mutex);
    if (!m_connection || !m_connection->ready()) {
        // Streams of the broken connection keep it until they are closed.
        m_connection = PulseConnection::Connect(AnswerTime);
    }
    return m_connection;
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
    std::shared_ptr<PulseConnection> live = connection();
    if (!live) {
        return nullptr;
    }
    const int subscription = live->subscribeSources(std::move(changed));
    if (subscription == 0) {
        return nullptr;
    }
    // Holds the connection, whose events these are, as long as it is watched.
    class Subscription {
    public:
        Subscription(std::shared_ptr<PulseConnection> connection, int id)
            : m_connection(std::move(connection)), m_id(id) {}
        ~Subscription() { m_connection->unsubscribe(m_id); }
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;

    private:
        std::shared_ptr<PulseConnection> m_connection;
        int m_id;
    };
    return std::make_shared<Subscription>(std::move(live), subscription);
}

}  // namespace veruziva::pulse
