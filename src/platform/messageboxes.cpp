#include "platform/messageboxes.h"

#include "platform/waveinput.h"

namespace veruziva {

MessageBoxes::~MessageBoxes() = default;
WaveInput::~WaveInput() = default;

}  // namespace veruziva
