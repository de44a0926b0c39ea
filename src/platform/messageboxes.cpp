#include "platform/messageboxes.h"

#include "platform/mixerservice.h"
#include "platform/waveinput.h"

namespace veruziva {

MessageBoxes::~MessageBoxes() = default;
WaveInput::~WaveInput() = default;
MixerService::~MixerService() = default;

}  // namespace veruziva
