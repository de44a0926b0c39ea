#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>

#include "analysis/spectrum.h"
#include "analysis/tonemeasurement.h"
#include "instrument/blocksink.h"
#include "measurement/readings.h"

namespace veruziva {

// One block's readings as the remote commands give them: every reading of the table, per
// channel, in the channel's unit.
struct MeterBlock {
    std::uint64_t number = 0;  // 1 for the first block measured
    std::int64_t msSinceEpoch = 0;
    std::array<std::array<double, ReadingCount>, 2> values{};
    std::array<bool, 2> levelMoved{false, false};
};

// What the remote instrument needs of the program that measures: the tool or the window.
class MeterHost {
public:
    virtual ~MeterHost();
    // The input device, as the calibration names it.
    virtual QByteArray deviceIdentity() const = 0;
    // The range the board is set to on a channel (0: A, 1: B), numbered as the range buttons.
    virtual int range(int channel) const = 0;
    // Blocks measured from now on are in the range's unit and calibration; false where the
    // ranges are not set remotely (the window's buttons set them).
    virtual bool setRange(int channel, int range) = 0;
    // The channel reads in volts or amperes ('V', 'A'), or raw (' ').
    virtual char unitLetter(int channel) const = 0;
    // Per channel: the line-in level is not the one the calibration holds at.
    virtual std::array<bool, 2> levelMoved() const = 0;
    // The capture runs and has delivered nothing for its limit.
    virtual bool stalled() const = 0;
    // The sample clock's error in parts per million, which frequencies of a spectrum correct.
    virtual double sampleClockPpm() const = 0;
};

class MeterClient;

// The measurement side of the remote instrument: the newest block, and each client's
// acquisition fed with the blocks as they come.
class MeterInstrument : public BlockSink {
public:
    explicit MeterInstrument(MeterHost& host) : m_host(host) {}

    void blockMeasured(const MeasuredBlock& block) override;
    // The host's input changed (stalled, delivers again, the level moved): waiting queries
    // may be answerable now.
    void inputChanged();

    MeterHost& host() const { return m_host; }
    const std::optional<MeterBlock>& latest() const { return m_latest; }
    std::uint64_t blocksMeasured() const { return m_latest ? m_latest->number : 0; }

    // A tone on a channel (0: A, 1: B), measured over the newest frames of a spectrum's span
    // once a block however often asked. The frames are kept from the first ask on: none until
    // a span of them has come. The scale is the channel's as the newest block was measured.
    std::optional<ToneMeasurements> tone(int channel);
    const ChannelScale& scale(int channel) const {
        return m_scales.at(static_cast<std::size_t>(channel));
    }

    // Called after each block and input change: the server resumes its waiting clients.
    std::function<void()> onChange;

    void attach(MeterClient* client) { m_clients.insert(client); }
    void detach(MeterClient* client) { m_clients.erase(client); }

private:
    MeterHost& m_host;
    std::optional<MeterBlock> m_latest;
    std::array<ChannelScale, 2> m_scales;
    // The spectra's frames, once a tone was asked for.
    std::unique_ptr<SpectrumAnalyzer> m_analyzer;
    std::uint64_t m_toneBlock = 0;  // the block m_tones were measured at
    std::array<ToneMeasurements, 2> m_tones;
    std::unordered_set<MeterClient*> m_clients;
};

}  // namespace veruziva
