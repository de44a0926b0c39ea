#include "trend/trendspans.h"

namespace veruziva {

QString TrendSpanText(std::int64_t spanMs) {
    const std::int64_t minutes = spanMs / 60'000;
    if (minutes < 60) {
        return QStringLiteral("%1 min").arg(minutes);
    }
    return QStringLiteral("%1 h").arg(minutes / 60);
}

}  // namespace veruziva
