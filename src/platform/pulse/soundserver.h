#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/pulse/pulseconnection.h"
#include "platform/pulse/pulsesources.h"

namespace veruziva::pulse {

// The sound server as the wave-input and mixer services share it: a connection, made again
// when the server has gone away and come back, and its sources, listed once for the run so
// that device and mixer numbers stay fixed and name the same sources.
class SoundServer : public SourceAccess {
public:
    // The server that answers now; nothing (and the reason) when none does.
    static std::shared_ptr<SoundServer> Find(std::string* reason = nullptr);
    explicit SoundServer(std::shared_ptr<PulseConnection> connection);

    // The live connection; nothing while no server answers.
    std::shared_ptr<PulseConnection> connection();
    // The sources in the instrument's order, with their device names.
    const std::vector<ListedSource>& sources() override;
    std::optional<SourceInfo> source(const std::string& name) override;
    bool apply(const std::string& name, const SourceChange& change) override;
    std::shared_ptr<void> watchSources(std::function<void()> changed) override;

    static constexpr std::chrono::milliseconds AnswerTime{2000};

private:
    std::mutex m_mutex;
    std::shared_ptr<PulseConnection> m_connection;
    std::optional<std::vector<ListedSource>> m_sources;
};

}  // namespace veruziva::pulse
