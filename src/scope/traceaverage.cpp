#include "scope/traceaverage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace veruziva {

namespace {

// Samples either side of an instant that its value is interpolated from.
constexpr int Taps = 4;

double Sinc(double x) {
    return x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
}

// `next` at each sample n + shift of `mean`, blended in with `weight`: the sinc between the
// samples (windowed by Lanczos' over 2 Taps), which a band-limited edge passes through wherever
// the samples fall; a line between two samples would widen it more than whole samples do. The
// shift is the same for every sample, and so are the taps.
void BlendShifted(std::vector<float>& mean, const std::vector<float>& next, double shift,
                  float weight) {
    const double whole = std::floor(shift);
    const double fraction = shift - whole;
    std::array<double, 2 * Taps> taps{};
    double sum = 0.0;
    for (int k = 1 - Taps; k <= Taps; ++k) {
        const double distance = fraction - double(k);
        taps[static_cast<std::size_t>(k + Taps - 1)] = Sinc(distance) * Sinc(distance / Taps);
        sum += taps[static_cast<std::size_t>(k + Taps - 1)];
    }
    const auto last = static_cast<std::ptrdiff_t>(next.size()) - 1;
    for (std::size_t n = 0; n < mean.size(); ++n) {
        const auto at = static_cast<std::ptrdiff_t>(n) + static_cast<std::ptrdiff_t>(whole);
        double value = 0.0;
        for (int k = 1 - Taps; k <= Taps; ++k) {
            const std::ptrdiff_t i = std::clamp<std::ptrdiff_t>(at + k, 0, last);
            value += taps[static_cast<std::size_t>(k + Taps - 1)] *
                     double(next[static_cast<std::size_t>(i)]);
        }
        mean[n] += (static_cast<float>(value / sum) - mean[n]) * weight;
    }
}

}  // namespace

void TraceAverage::setCount(int count) {
    m_count = std::max(count, 1);
    reset();
}

// Its room goes back too: the next span may be shorter.
void TraceAverage::reset() {
    m_result = Acquisition{};
    m_result.averaged = 0;
}

void TraceAverage::add(const Acquisition& acquisition) {
    if (m_result.averaged == 0 || m_result.a.size() != acquisition.a.size()) {
        m_result = acquisition;
        m_result.averaged = 1;
        return;
    }
    const int averaged = std::min(m_result.averaged + 1, m_count);
    const float weight = 1.0F / float(averaged);
    // Each on the first one's grid: its sample n lies at n + shift of the new one's.
    const double shift = acquisition.leftEdge - m_result.leftEdge;
    BlendShifted(m_result.a, acquisition.a, shift, weight);
    BlendShifted(m_result.b, acquisition.b, shift, weight);
    m_result.firstFrame = acquisition.firstFrame;
    m_result.count = acquisition.count;
    m_result.averaged = averaged;
}

}  // namespace veruziva
