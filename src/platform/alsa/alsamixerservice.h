#pragma once

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/alsa/alsadevices.h"
#include "platform/mixerchanges.h"
#include "platform/mixerservice.h"

namespace veruziva::alsa {

// The mixer service on ALSA's simple mixer. The mixers are the control devices of the input
// devices. Destination 0 is the playback side, destination 1 the capture side ("recording"),
// whose own controls are the capture master (an element "Capture") and the capture-source
// selector (an enumerated capture element, or a group of exclusive capture switches) as a
// single-select control; its source lines are the selector's sources and every other element
// with a capture volume or switch, gain stages ("... Boost") excepted. A line's volume is its
// capture volume (or the master's, for a source without one of its own), mapped linearly onto
// 0 to 65535; its mute reads 0 exactly when the source is live, and writing 0 makes it live.
// Change messages come from the control device's events, watched by the opening thread's event
// loop: a control whose values differ after an event gets one; a card gone gets a line change
// for each destination.
class AlsaMixerService : public MixerService {
public:
    explicit AlsaMixerService(ServerDevices server = ServerDevices::Listed);
    ~AlsaMixerService() override;

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

    // The control device behind each mixer number.
    const std::vector<CaptureDevice>& mixers();

    class Mixer;

private:
    Mixer* find(MixerHandle handle);
    // The mixer's events handled, and its change messages sent.
    void pump(MixerHandle handle);

    ServerDevices m_server;
    std::optional<std::vector<CaptureDevice>> m_mixers;
    std::map<MixerHandle, std::unique_ptr<Mixer>> m_open;
    MixerHandle m_nextHandle = 1;
};

}  // namespace veruziva::alsa
