#pragma once

#include <array>
#include <span>

#include "analysis/spectrum.h"
#include "analysis/tonemeasurement.h"

namespace veruziva {

// Where the sample clock's correction is kept: the application's settings, a test's memory.
class SampleClockStore {
public:
    virtual ~SampleClockStore();
    virtual double ppm() const = 0;
    // Keeps and puts in force a new correction; false (the failure told to the user) when it
    // could not be stored, and the old one stays.
    virtual bool store(double ppm) = 0;
};

// The analyzer's data in the running program: every block's frames as they come (whether its
// window is open or not, so that it opens on a full span), with each channel's scale as the
// block was measured with. The window takes spectra from it as often as it redraws.
class LiveAnalysis {
public:
    explicit LiveAnalysis(AnalyzerSettings settings = {}) : m_analyzer(settings) {}
    void blockTaken(std::span<const StereoFrame> frames, const ChannelScale& a,
                    const ChannelScale& b);
    SpectrumAnalyzer& analyzer() { return m_analyzer; }
    const SpectrumAnalyzer& analyzer() const { return m_analyzer; }
    // Channel 0 is A (left), 1 is B (right).
    const ChannelScale& scale(int channel) const {
        return m_scales.at(static_cast<std::size_t>(channel));
    }

private:
    SpectrumAnalyzer m_analyzer;
    std::array<ChannelScale, 2> m_scales;
};

}  // namespace veruziva
