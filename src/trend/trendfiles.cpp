#include "trend/trendfiles.h"

namespace veruziva {

TrendFiles::~TrendFiles() = default;

}  // namespace veruziva
