#pragma once

#include <map>
#include <memory>

#include "platform/mixerservice.h"
#include "platform/pulse/soundserver.h"
#include "platform/pulse/sourcemixer.h"

namespace veruziva::pulse {

// The mixer service on the sound server: one mixer per source, named as its device, laid out as
// SourceMixer says. Every read asks the server for the source's present state, and every write
// acts on that source alone. Change messages come from the server's events: a control whose
// values differ after one gets a message; the source gone, or back, gives each destination a
// line change: so does the server going away and coming back (its events then come from the
// new server).
class PulseMixerService : public MixerService {
public:
    explicit PulseMixerService(std::shared_ptr<SourceAccess> server);
    ~PulseMixerService() override;

    unsigned deviceCount() override;
    int caps(unsigned device, MixerCaps& caps) override;
    int open(MixerHandle& handle, unsigned device, MixerChangeSink* changes) override;
    int close(MixerHandle handle) override;
    int lineByDestination(MixerHandle handle, std::uint32_t destination, MixerLine& line) override;
    int lineBySource(MixerHandle handle, std::uint32_t destination, std::uint32_t source,
                     MixerLine& line) override;
    int lineControls(MixerHandle handle, std::uint32_t lineId,
                     std::vector<MixerControlInfo>& controls) override;
    int controlValues(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                      std::uint32_t items, std::vector<std::int32_t>& values) override;
    int setControlValues(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                         std::uint32_t items, const std::vector<std::int32_t>& values) override;
    int listTexts(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                  std::uint32_t items, std::vector<MixerListText>& texts) override;

private:
    struct Open {
        Open(std::string name, SourceMixer mixer)
            : sourceName(std::move(name)), layout(std::move(mixer)) {}
        ~Open();
        Open(const Open&) = delete;
        Open& operator=(const Open&) = delete;

        std::string sourceName;
        SourceMixer layout;
        MixerChangeSink* sink = nullptr;
        std::shared_ptr<void> events;  // the server's events, while watched
        MixerChangeWatch* watch = nullptr;
        ControlValueTracker tracker;
        bool gone = false;
    };
    Open* find(MixerHandle handle);
    void pump(MixerHandle handle);

    std::shared_ptr<SourceAccess> m_server;
    std::map<MixerHandle, std::unique_ptr<Open>> m_open;
    MixerHandle m_nextHandle = 1;
};

}  // namespace veruziva::pulse
