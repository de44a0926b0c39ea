#include "scope/acquisition.h"

namespace veruziva {

std::vector<QPointF> XyPairs(const Acquisition& acquisition) {
    std::vector<QPointF> pairs;
    pairs.reserve(acquisition.a.size());
    for (std::size_t n = 0; n < acquisition.a.size(); ++n) {
        pairs.emplace_back(acquisition.a[n], acquisition.b[n]);
    }
    return pairs;
}

}  // namespace veruziva
