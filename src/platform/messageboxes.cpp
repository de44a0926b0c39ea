#include "platform/messageboxes.h"

namespace veruziva {

MessageBoxes::~MessageBoxes() = default;

}  // namespace veruziva
