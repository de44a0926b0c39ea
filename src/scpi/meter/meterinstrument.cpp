#include "scpi/meter/meterinstrument.h"

#include "instrument/channelscale.h"
#include "scpi/meter/meterclient.h"

namespace veruziva {

MeterHost::~MeterHost() = default;

void MeterInstrument::blockMeasured(const MeasuredBlock& block) {
    MeterBlock taken;
    taken.number = blocksMeasured() + 1;
    taken.msSinceEpoch = block.msSinceEpoch;
    taken.values = {block.readouts.a.values, block.readouts.b.values};
    const std::array<bool, 2> moved = m_host.levelMoved();
    for (std::size_t channel = 0; channel < 2; ++channel) {
        taken.levelMoved[channel] = block.settings.levelMoved[channel] || moved[channel];
    }
    m_latest = taken;
    m_scales = {ScaleOf(block.settings.display.a), ScaleOf(block.settings.display.b)};
    if (m_analyzer) {
        m_analyzer->addFrames(block.frames);
    }
    for (MeterClient* client : m_clients) {
        client->blockMeasured(taken);
    }
    if (onChange) {
        onChange();
    }
}

void MeterInstrument::inputChanged() {
    if (onChange) {
        onChange();
    }
}

}  // namespace veruziva

namespace veruziva {

std::optional<ToneMeasurements> MeterInstrument::tone(int channel) {
    if (!m_analyzer) {
        m_analyzer = std::make_unique<SpectrumAnalyzer>();
    }
    if (m_analyzer->framesHeld() < m_analyzer->settings().size) {
        return std::nullopt;
    }
    if (m_toneBlock != blocksMeasured()) {
        m_analyzer->update();
        ToneOptions options;
        options.clockPpm = m_host.sampleClockPpm();
        for (int c = 0; c < 2; ++c) {
            m_tones.at(static_cast<std::size_t>(c)) = MeasureTone(m_analyzer->spectrum(c), options);
        }
        m_toneBlock = blocksMeasured();
    }
    return m_tones.at(static_cast<std::size_t>(channel));
}

}  // namespace veruziva
