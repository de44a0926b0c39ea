#pragma once

#include <map>
#include <memory>

#include "platform/mixerservice.h"
#include "platform/pulse/soundserver.h"
#include "platform/pulse/sourcemixer.h"

namespace veruziva::pulse {

// The mixer service on the sound server: one mixer per source, named as its device, laid out as
// SourceMixer says. Every read asks the server for the source's present state, and every write
// acts on that source alone.
class PulseMixerService : public MixerService {
public:
    explicit PulseMixerService(std::shared_ptr<SourceAccess> server);
    ~PulseMixerService() override;

    unsigned deviceCount() override;
    int caps(unsigned device, MixerCaps& caps) override;
    int open(MixerHandle& handle, unsigned device, bool notifications) override;
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
        std::string sourceName;
        SourceMixer layout;
    };
    Open* find(MixerHandle handle);

    std::shared_ptr<SourceAccess> m_server;
    std::map<MixerHandle, std::unique_ptr<Open>> m_open;
    MixerHandle m_nextHandle = 1;
};

}  // namespace veruziva::pulse
