#include "platform/messageboxes.h"

#include "platform/mixerservice.h"
#include "platform/waveinput.h"

namespace veruziva {

MessageBoxes::~MessageBoxes() = default;
WaveInput::~WaveInput() = default;
std::optional<CaptureStatistics> WaveInput::statistics(WaveInHandle) {
    return std::nullopt;
}
MixerService::~MixerService() = default;
MixerChangeSink::~MixerChangeSink() = default;

}  // namespace veruziva
