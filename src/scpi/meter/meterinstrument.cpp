#include "scpi/meter/meterinstrument.h"

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
