#include "analysis/fftwindow.h"

#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace veruziva {

namespace {

// Every window here is a sum of cosines: w[n] = sum over m of (-1)^m a[m] cos(2 pi m n / N).
struct CosineSum {
    WindowKind kind;
    std::string_view name;
    std::string_view caption;
    std::array<double, 5> a;
    std::size_t terms;
    int lobeHalfWidth;  // the main lobe spans `terms` bins each side; one more holds its skirt
};

// Blackman-Harris: the 4-term, -92 dB form. Flat top: the 5-term form of the common signal
// libraries (scalloping under 0.01 dB).
constexpr CosineSum Windows[] = {
    {WindowKind::Rectangular, "rectangular", "Rectangular", {1.0}, 1, 1},
    {WindowKind::Hann, "hann", "Hann", {0.5, 0.5}, 2, 2},
    {WindowKind::FlatTop,
     "flattop",
     "Flat top",
     {0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368},
     5,
     6},
    {WindowKind::BlackmanHarris,
     "blackman-harris",
     "Blackman-Harris",
     {0.35875, 0.48829, 0.14128, 0.01168},
     4,
     5},
};

// The kernels' sum at `d` bins (d >= 0, not a whole bin) without the common sin(pi d) / pi,
// relative to the response at the centre.
double KernelSum(const CosineSum& sum, double d) {
    double total = 0.0;
    for (std::size_t m = 0; m < sum.terms; ++m) {
        const double sign = m % 2 == 0 ? 1.0 : -1.0;
        total += sign * sum.a[m] * d / (d * d - double(m) * double(m));
    }
    return total / sum.a[0];
}

const CosineSum& SumOf(WindowKind kind) {
    for (const CosineSum& window : Windows) {
        if (window.kind == kind) {
            return window;
        }
    }
    throw std::invalid_argument("unknown window");
}

}  // namespace

std::string_view WindowName(WindowKind kind) {
    return SumOf(kind).name;
}

std::string_view WindowCaption(WindowKind kind) {
    return SumOf(kind).caption;
}

std::optional<WindowKind> WindowByName(std::string_view name) {
    for (const CosineSum& window : Windows) {
        if (window.name == name) {
            return window.kind;
        }
    }
    return std::nullopt;
}

FftWindow::FftWindow(WindowKind kind, int size) : m_kind(kind) {
    if (size < 2) {
        throw std::invalid_argument("window size");
    }
    m_weights.resize(static_cast<std::size_t>(size));
    const CosineSum& sum = SumOf(kind);
    double total = 0.0;
    double squares = 0.0;
    for (std::size_t n = 0; n < m_weights.size(); ++n) {
        double w = 0.0;
        for (std::size_t m = 0; m < sum.terms; ++m) {
            const double sign = m % 2 == 0 ? 1.0 : -1.0;
            w += sign * sum.a[m] * std::cos(2.0 * std::numbers::pi * double(m * n) / size);
        }
        m_weights[n] = w;
        total += w;
        squares += w * w;
    }
    m_coherentGain = total / size;
    m_noiseBandwidthBins = size * squares / (total * total);
}

int FftWindow::lobeHalfWidth() const {
    return SumOf(m_kind).lobeHalfWidth;
}

double FftWindow::response(double offset) const {
    // The transform of a cosine sum is a sum of shifted sinc kernels: with sin(pi d) taken out,
    // W(d) / N = sin(pi d) / pi * sum of (-1)^m a[m] d / (d^2 - m^2). At whole bins only one
    // term is left (a[0] at 0, a[m] / 2 at m). For spans of 4096 samples and more the sinc
    // stands for the periodic kernel to a few parts per million.
    const CosineSum& sum = SumOf(m_kind);
    const double d = std::abs(offset);
    const double nearest = std::round(d);
    if (std::abs(d - nearest) < 1e-9) {
        const auto m = static_cast<std::size_t>(nearest);
        if (m >= sum.terms) {
            return 0.0;
        }
        return m == 0 ? 1.0 : sum.a[m] / 2.0 / sum.a[0];
    }
    return std::abs(std::sin(std::numbers::pi * d) / std::numbers::pi * KernelSum(sum, d));
}

double FftWindow::sideLobeEnvelope(double offset) const {
    return std::abs(KernelSum(SumOf(m_kind), std::abs(offset)) / std::numbers::pi);
}

}  // namespace veruziva
