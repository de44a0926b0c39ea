#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "scpi/meter/meterinstrument.h"
#include "scpi/scpicommandtable.h"

namespace veruziva {

// One remote client of the meter: what it has configured (a reading on some channels), its
// acquisition (INITiate, the trigger, the sample count) and the memory of readings it has not
// taken yet, and its commands, which act on these.
class MeterClient {
public:
    // Readings a client's memory holds; beyond it the oldest are dropped (and an error says so).
    static constexpr std::size_t MemorySize = 100000;
    // SAMPle:COUNt's largest number; INFinity runs until ABORt.
    static constexpr long long MaxSampleCount = 1000000;

    // One block's reading on the configured channels.
    struct Record {
        std::int64_t msSinceEpoch = 0;
        std::array<double, 2> values{};
        std::uint8_t flags = 0;  // Record::LevelMoved, Record::Overloaded
        static constexpr std::uint8_t LevelMoved = 1;
        static constexpr std::uint8_t Overloaded = 2;
    };

    // A reading of a tone, in the channel's scale.
    using ToneValue = double (*)(const ToneMeasurements& tone, const ChannelScale& scale);

    explicit MeterClient(MeterInstrument& instrument);
    ~MeterClient();
    MeterClient(const MeterClient&) = delete;
    MeterClient& operator=(const MeterClient&) = delete;

    // A session's commands bound to a new client of the instrument.
    static std::shared_ptr<const ScpiCommandTable> NewCommands(MeterInstrument& instrument);

    void blockMeasured(const MeterBlock& block);

private:
    // What a query measures: a reading of the table, and the unit it asks for.
    struct Function {
        std::size_t reading = 0;
        char unit = 0;  // 'V' or 'A': the channels must be on such a range; 0: any
        QByteArray name;
    };
    enum class State { Idle, WaitingForTrigger, Running };

    void addCommands(ScpiCommandTable& table);
    void reset();
    std::optional<ScpiError> configure(const Function& function, const ScpiParameters& channels);
    std::optional<ScpiError> initiate();
    ScpiReply fetch(const ScpiCall& call);
    ScpiReply removeData(const ScpiCall& call);
    // Readings of the tone in the newest span of frames, once a block has come.
    ScpiReply measureTone(const ScpiCall& call, const std::vector<ToneValue>& values);
    ScpiReply setRange(const ScpiCall& call);
    Record recordOf(const MeterBlock& block) const;
    QByteArray valuesOf(const Record& record) const;
    // Once after readings were dropped from a full memory: -300 queued.
    void reportOverflow(ScpiStatus& status);
    // The readings a stalled input cannot give: SCPI's NaN for each, and -240 queued.
    ScpiReply stalledReply() const;
    bool acquisitionDone() const { return m_state == State::Idle; }

    MeterInstrument& m_instrument;
    Function m_function;
    std::vector<int> m_channels{0};
    long long m_sampleCount = 1;  // 0: infinite
    bool m_busTrigger = false;
    State m_state = State::Idle;
    bool m_initiated = false;  // an acquisition since the configuration: FETCh? gives its memory
    long long m_taken = 0;
    std::uint64_t m_toneAfter = 0;  // a tone query waits for a block numbered above this
    std::deque<Record> m_memory;
    bool m_memoryOverflowed = false;
};

}  // namespace veruziva
