#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace veruziva {

// The windows a spectrum is taken with (periodic forms: they repeat exactly over the span).
enum class WindowKind { Rectangular, Hann, FlatTop, BlackmanHarris };

inline constexpr WindowKind WindowKinds[] = {WindowKind::Rectangular, WindowKind::Hann,
                                             WindowKind::FlatTop, WindowKind::BlackmanHarris};

// "rectangular", "hann", "flattop", "blackman-harris": the names of the tool's options and of
// the files; the caption is what the analyzer's list shows.
std::string_view WindowName(WindowKind kind);
std::string_view WindowCaption(WindowKind kind);
std::optional<WindowKind> WindowByName(std::string_view name);

// One window of one size: its weights and the gains that make a sine's peak read the sine's
// level and noise read its density.
class FftWindow {
public:
    FftWindow(WindowKind kind, int size);

    WindowKind kind() const { return m_kind; }
    int size() const { return static_cast<int>(m_weights.size()); }
    std::span<const double> weights() const { return m_weights; }
    // The sum of the weights over the size: a sine's amplitude is scaled by it.
    double coherentGain() const { return m_coherentGain; }
    // Equivalent noise bandwidth in bins: noise power per bin is its density times this many
    // bins' width.
    double noiseBandwidthBins() const { return m_noiseBandwidthBins; }
    // Bins on either side of a sine's peak bin that hold all but a negligible part of its
    // power (the main lobe).
    int lobeHalfWidth() const;
    // The magnitude a sine `offset` bins from a bin centre gives that bin, relative to its
    // peak at the centre (1 at 0): for the interpolation between bins and the level's
    // correction.
    double response(double offset) const;
    // The height of the side lobes about `offset` (beyond the main lobe): the response with
    // its sine factor taken as 1, a bound the response never crosses there.
    double sideLobeEnvelope(double offset) const;

private:
    WindowKind m_kind;
    std::vector<double> m_weights;
    double m_coherentGain = 1.0;
    double m_noiseBandwidthBins = 1.0;
};

}  // namespace veruziva
