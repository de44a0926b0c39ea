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
    std::array<double, 2 * Taps> exact{};
    double total = 0.0;
    for (std::size_t k = 0; k < exact.size(); ++k) {
        const double distance = fraction - (double(k) + 1 - Taps);
        exact[k] = Sinc(distance) * Sinc(distance / Taps);
        total += exact[k];
    }
    std::array<float, 2 * Taps> taps{};
    for (std::size_t k = 0; k < taps.size(); ++k) {
        taps[k] = static_cast<float>(exact[k] / total);
    }
    // Sample n's taps start at n + offset; those beyond the trace take its end's value.
    const auto size = static_cast<std::ptrdiff_t>(next.size());
    const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(whole) + 1 - Taps;
    const auto at = [&](std::ptrdiff_t i) {
        return next[static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(i, 0, size - 1))];
    };
    const auto blend = [&](std::ptrdiff_t n, float value) {
        float& sample = mean[static_cast<std::size_t>(n)];
        sample += (value - sample) * weight;
    };
    const auto edge = [&](std::ptrdiff_t n) {
        float sum = 0.0F;
        for (std::size_t k = 0; k < taps.size(); ++k) {
            sum += taps[k] * at(n + offset + std::ptrdiff_t(k));
        }
        blend(n, sum);
    };
    // Where every tap lies within the trace, no bounds to keep.
    const std::ptrdiff_t inFrom = std::clamp<std::ptrdiff_t>(-offset, 0, size);
    const std::ptrdiff_t inTo =
        std::clamp<std::ptrdiff_t>(size - offset - 2 * Taps + 1, inFrom, size);
    for (std::ptrdiff_t n = 0; n < inFrom; ++n) {
        edge(n);
    }
    for (std::ptrdiff_t n = inFrom; n < inTo; ++n) {
        const float* from = &next[static_cast<std::size_t>(n + offset)];
        float sum = 0.0F;
        for (std::size_t k = 0; k < taps.size(); ++k) {
            sum += taps[k] * from[k];
        }
        blend(n, sum);
    }
    for (std::ptrdiff_t n = inTo; n < size; ++n) {
        edge(n);
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
