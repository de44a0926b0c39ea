#include "scpi/meter/meterclient.h"

#include <QByteArrayList>
#include <cmath>
#include <limits>

#include "base/filemetadata.h"
#include "calibration/calibrationstate.h"
#include "scpi/scpinumber.h"

namespace veruziva {
namespace {

// The measurement functions of MEASure?, CONFigure and their query: the multimeter's usual
// names first, then every reading of the table by its id (MEASure:PP?).
struct FunctionName {
    const char* pattern;
    std::size_t reading;
    char unit;
    const char* name;
};
constexpr FunctionName MultimeterFunctions[] = {
    {"VOLTage[:DC]", IndexOfMean, 'V', "VOLT:DC"}, {"VOLTage:AC", IndexOfRms, 'V', "VOLT:AC"},
    {"CURRent[:DC]", IndexOfMean, 'A', "CURR:DC"}, {"CURRent:AC", IndexOfRms, 'A', "CURR:AC"},
    {"FREQuency", IndexOfFrequency, 0, "FREQ"},
};

// The analyzer's readings of a tone, MEASure:DISTortion:<name>?: the fundamental's frequency
// and RMS level (in the channel's unit), THD and THD+N in %, SNR, SINAD and SFDR in dB.
struct ToneQuery {
    const char* pattern;
    MeterClient::ToneValue value;
};
constexpr ToneQuery ToneQueries[] = {
    {"FREQuency", [](const ToneMeasurements& t, const ChannelScale&) { return t.frequencyHz; }},
    {"LEVel",
     [](const ToneMeasurements& t, const ChannelScale& scale) {
         return scale.calibrated() ? t.levelRms * scale.factor : t.levelRms;
     }},
    {"THD", [](const ToneMeasurements& t, const ChannelScale&) { return 100.0 * t.thdRatio; }},
    {"THDN",
     [](const ToneMeasurements& t, const ChannelScale&) { return 100.0 * t.thdNoiseRatio; }},
    {"SNR", [](const ToneMeasurements& t, const ChannelScale&) { return t.snrDb; }},
    {"SINAD", [](const ToneMeasurements& t, const ChannelScale&) { return t.sinadDb; }},
    {"SFDR", [](const ToneMeasurements& t, const ChannelScale&) { return t.sfdrDb; }},
};

ScpiError Error(ScpiCode code, const char* detail = "") {
    return ScpiError{code, QByteArray(detail)};
}

// A reading that could not be taken: SCPI's NaN in its place.
constexpr double NotTaken = std::numeric_limits<double>::quiet_NaN();

ScpiError Stalled() {
    return Error(ScpiCode::HardwareError, "the input delivers nothing");
}

// The channels of a channel list parameter (0: A, 1: B), or the error it is.
std::optional<ScpiError> ChannelsOf(const ScpiParameter& parameter, std::vector<int>& channels) {
    if (parameter.type != ScpiParameter::Type::ChannelList) {
        return Error(ScpiCode::DataTypeError, "a channel list: (@1), (@2) or (@1,2)");
    }
    if (parameter.channels.isEmpty() || parameter.channels.size() > 2) {
        return Error(ScpiCode::DataOutOfRange, "one or two channels: (@1), (@2) or (@1,2)");
    }
    std::vector<int> taken;
    for (const int channel : parameter.channels) {
        if (channel != 1 && channel != 2) {
            return Error(ScpiCode::DataOutOfRange, "the channels are 1 and 2");
        }
        taken.push_back(channel - 1);
    }
    channels = std::move(taken);
    return std::nullopt;
}

QByteArray Joined(const std::vector<int>& channels, const std::function<QByteArray(int)>& each) {
    QByteArrayList items;
    for (const int channel : channels) {
        items.append(each(channel));
    }
    return items.join(',');
}

// A range as RANGe takes it: 0.3V, 3V, 30V, 3A.
QByteArray RangeText(int range) {
    return QByteArray::number(RangeFullScale(range)) + (range == AmpereRange ? 'A' : 'V');
}

// The range a RANGe value names: 0.3, 3 or 30 (volts, V allowed), or 3A.
std::optional<int> RangeOf(const ScpiParameter& value) {
    if (value.type != ScpiParameter::Type::Number) {
        return std::nullopt;
    }
    const QByteArray suffix = value.suffix.toUpper();
    for (int range = FirstRange; range <= LastRange; ++range) {
        const bool ampere = range == AmpereRange;
        const bool unitFits = ampere ? suffix == "A" : suffix.isEmpty() || suffix == "V";
        if (unitFits && std::abs(value.number - RangeFullScale(range)) < 1e-9) {
            return range;
        }
    }
    return std::nullopt;
}

// A field of *IDN?: no comma, semicolon or control character in it.
QByteArray IdentityField(QByteArray text) {
    for (char& c : text) {
        if (c == ',' || c == ';' || c == '"' || c == '\'' || static_cast<unsigned char>(c) < 0x20 ||
            static_cast<unsigned char>(c) > 0x7E) {
            c = ' ';
        }
    }
    text = text.trimmed();
    return text.isEmpty() ? QByteArray("0") : text;
}

}  // namespace

MeterClient::MeterClient(MeterInstrument& instrument) : m_instrument(instrument) {
    reset();
    m_instrument.attach(this);
}

MeterClient::~MeterClient() {
    m_instrument.detach(this);
}

std::shared_ptr<const ScpiCommandTable> MeterClient::NewCommands(MeterInstrument& instrument) {
    // The handlers act on the client: the table owns it, and a session the table.
    struct OwningTable : ScpiCommandTable {
        std::unique_ptr<MeterClient> client;
    };
    auto table = std::make_shared<OwningTable>();
    table->client = std::make_unique<MeterClient>(instrument);
    table->client->addCommands(*table);
    return table;
}

void MeterClient::reset() {
    m_function = {IndexOfMean, 'V', "VOLT:DC"};
    m_channels = {0};
    m_sampleCount = 1;
    m_busTrigger = false;
    m_state = State::Idle;
    m_initiated = false;
    m_taken = 0;
    m_memory.clear();
    m_memoryOverflowed = false;
}

void MeterClient::blockMeasured(const MeterBlock& block) {
    if (m_state != State::Running) {
        return;
    }
    if (m_memory.size() == MemorySize) {
        m_memory.pop_front();
        m_memoryOverflowed = true;
    }
    m_memory.push_back(recordOf(block));
    ++m_taken;
    if (m_sampleCount != 0 && m_taken >= m_sampleCount) {
        m_state = State::Idle;
    }
}

MeterClient::Record MeterClient::recordOf(const MeterBlock& block) const {
    Record record;
    record.msSinceEpoch = block.msSinceEpoch;
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        const auto channel = static_cast<std::size_t>(m_channels[i]);
        record.values[i] = block.values[channel][m_function.reading];
        if (block.levelMoved[channel]) {
            record.flags |= Record::LevelMoved;
        }
        if (block.values[channel][IndexOfOverload] != 0.0) {
            record.flags |= Record::Overloaded;
        }
    }
    return record;
}

QByteArray MeterClient::valuesOf(const Record& record) const {
    QByteArray text;
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        if (i > 0) {
            text += ',';
        }
        text += ScpiNumber(record.values[i]);
    }
    return text;
}

void MeterClient::reportOverflow(ScpiStatus& status) {
    if (m_memoryOverflowed) {
        status.raise(Error(ScpiCode::DeviceError, "memory full: the oldest readings dropped"));
        m_memoryOverflowed = false;
    }
}

ScpiReply MeterClient::stalledReply() const {
    ScpiReply reply(Stalled());
    Record nothing;
    nothing.values.fill(NotTaken);
    reply.response = valuesOf(nothing);
    return reply;
}

std::optional<ScpiError> MeterClient::configure(const Function& function,
                                                const ScpiParameters& parameters) {
    std::vector<int> channels = m_channels;
    if (!parameters.isEmpty()) {
        if (auto error = ChannelsOf(parameters.front(), channels)) {
            return error;
        }
    }
    if (function.unit != 0) {
        for (const int channel : channels) {
            const bool ampere = m_instrument.host().range(channel) == AmpereRange;
            if (ampere != (function.unit == 'A')) {
                return ScpiError{ScpiCode::SettingsConflict,
                                 QByteArray("channel ") + QByteArray::number(channel + 1) +
                                     (ampere ? " is on the 3 A range" : " is on a volt range")};
            }
        }
    }
    reset();
    m_function = function;
    m_channels = std::move(channels);
    return std::nullopt;
}

std::optional<ScpiError> MeterClient::initiate() {
    if (m_state != State::Idle) {
        return Error(ScpiCode::InitIgnored);
    }
    m_memory.clear();
    m_memoryOverflowed = false;
    m_taken = 0;
    m_initiated = true;
    m_state = m_busTrigger ? State::WaitingForTrigger : State::Running;
    return std::nullopt;
}

ScpiReply MeterClient::fetch(const ScpiCall& call) {
    // A block to come, or the newest one, is what a stalled input cannot give; readings
    // taken before it stalled are good.
    const bool needsBlock = m_state == State::Running || !m_initiated;
    if (needsBlock && m_instrument.host().stalled()) {
        return stalledReply();
    }
    reportOverflow(call.status);
    switch (m_state) {
        case State::WaitingForTrigger:
            return Error(ScpiCode::TriggerDeadlock, "waiting for *TRG");
        case State::Running:
            if (m_sampleCount == 0) {
                return Error(ScpiCode::SettingsConflict,
                             "an endless acquisition: DATA:REMove? takes its readings");
            }
            return ScpiReply::Wait();
        case State::Idle:
            break;
    }
    if (!m_initiated) {
        // The newest block's reading; the first block when there is none yet.
        const auto& latest = m_instrument.latest();
        return latest ? ScpiReply(valuesOf(recordOf(*latest))) : ScpiReply::Wait();
    }
    if (m_memory.empty()) {
        return Error(ScpiCode::DataStale, "no readings in memory");
    }
    QByteArray text;
    for (const Record& record : m_memory) {
        if (!text.isEmpty()) {
            text += ',';
        }
        text += valuesOf(record);
    }
    return ScpiReply(text);
}

ScpiReply MeterClient::measureTone(const ScpiCall& call, const std::vector<ToneValue>& values) {
    std::vector<int> channels = m_channels;
    if (!call.parameters.isEmpty()) {
        if (auto error = ChannelsOf(call.parameters.front(), channels)) {
            return *error;
        }
    }
    if (!call.resumed) {
        m_toneAfter = m_instrument.blocksMeasured();
    }
    // Each value of each channel, in that order.
    const auto answer = [&channels,
                         &values](const std::function<QByteArray(int, ToneValue)>& each) {
        return Joined(channels, [&](int channel) {
            QByteArrayList texts;
            for (const ToneValue value : values) {
                texts.append(each(channel, value));
            }
            return texts.join(',');
        });
    };
    if (m_instrument.host().stalled()) {
        ScpiReply reply(Stalled());
        reply.response = answer([](int, ToneValue) { return ScpiNumber(NotTaken); });
        return reply;
    }
    std::array<std::optional<ToneMeasurements>, 2> tones;
    for (const int channel : channels) {
        tones.at(static_cast<std::size_t>(channel)) = m_instrument.tone(channel);
        if (!tones.at(static_cast<std::size_t>(channel))) {
            return ScpiReply::Wait();  // a span of frames to come
        }
    }
    if (m_instrument.blocksMeasured() <= m_toneAfter) {
        return ScpiReply::Wait();
    }
    ScpiReply reply(answer([&](int channel, ToneValue value) {
        const ToneMeasurements& tone = *tones.at(static_cast<std::size_t>(channel));
        return ScpiNumber(tone.found ? value(tone, m_instrument.scale(channel)) : NotTaken);
    }));
    for (const int channel : channels) {
        if (!tones.at(static_cast<std::size_t>(channel))->found) {
            reply.error = Error(ScpiCode::DataStale, "no tone stands out of the spectrum");
        }
    }
    return reply;
}

ScpiReply MeterClient::removeData(const ScpiCall& call) {
    const ScpiParameter& count = call.parameters.front();
    if (count.type != ScpiParameter::Type::Number) {
        return Error(ScpiCode::DataTypeError);
    }
    const double wanted = std::round(count.number);
    if (wanted < 1 || wanted > static_cast<double>(MemorySize)) {
        return Error(ScpiCode::DataOutOfRange, "1 to 100000 readings");
    }
    const auto n = static_cast<std::size_t>(wanted);
    const bool wait = call.parameters.size() > 1;
    if (wait && !call.parameters[1].isCharacters("WAIT")) {
        return Error(ScpiCode::DataTypeError, "WAIT or nothing");
    }
    if (m_memory.size() < n) {
        const bool more = m_state != State::Idle &&
                          (m_sampleCount == 0 ||
                           static_cast<long long>(n - m_memory.size()) <= m_sampleCount - m_taken);
        if (!wait || !more) {
            return ScpiError{ScpiCode::DataOutOfRange,
                             QByteArray::number(static_cast<qulonglong>(m_memory.size())) +
                                 " readings in memory"};
        }
        if (m_instrument.host().stalled()) {
            return Stalled();
        }
        return ScpiReply::Wait();
    }
    reportOverflow(call.status);
    // Each reading: the block's time in seconds since 1970 (to the millisecond), its values,
    // its flags.
    QByteArray text;
    for (std::size_t i = 0; i < n; ++i) {
        const Record& record = m_memory.front();
        if (i > 0) {
            text += ',';
        }
        text += QByteArray::number(static_cast<double>(record.msSinceEpoch) / 1000.0, 'f', 3);
        text += ',';
        text += valuesOf(record);
        text += ',';
        text += QByteArray::number(record.flags);
        m_memory.pop_front();
    }
    return ScpiReply(text);
}

ScpiReply MeterClient::setRange(const ScpiCall& call) {
    // Either order: RANGe 3,(@1) or RANGe (@1),3.
    const bool listFirst = call.parameters[0].type == ScpiParameter::Type::ChannelList;
    const ScpiParameter& value = call.parameters[listFirst ? 1 : 0];
    std::vector<int> channels;
    if (auto error = ChannelsOf(call.parameters[listFirst ? 0 : 1], channels)) {
        return *error;
    }
    const std::optional<int> range = RangeOf(value);
    if (!range) {
        return Error(ScpiCode::DataOutOfRange, "0.3, 3, 30 (volts) or 3A");
    }
    for (const int channel : channels) {
        if (!m_instrument.host().setRange(channel, *range)) {
            return Error(ScpiCode::SettingsConflict, "the ranges are set in the window");
        }
    }
    return {};
}

void MeterClient::addCommands(ScpiCommandTable& table) {
    MeterHost& host = m_instrument.host();
    table.add("*IDN?", [&host](const ScpiCall&) {
        return ScpiReply("Zoruzoz,Veruziva," + IdentityField(host.deviceIdentity()) + ',' +
                         IdentityField(ProgramVersion().toUtf8()));
    });
    table.add("*RST", [this](const ScpiCall&) {
        reset();
        return ScpiReply();
    });
    std::vector<std::pair<QByteArray, Function>> functions;
    for (const FunctionName& name : MultimeterFunctions) {
        functions.push_back({name.pattern, {name.reading, name.unit, name.name}});
    }
    for (std::size_t i = 0; i < ReadingCount; ++i) {
        const QByteArray id =
            QByteArray(Readings[i].id.data(), static_cast<qsizetype>(Readings[i].id.size()))
                .toUpper();
        functions.push_back({id, {i, 0, id}});
    }
    for (const auto& entry : functions) {
        const QByteArray& pattern = entry.first;
        const Function function = entry.second;
        table.add("MEASure:" + pattern + '?',
                  [this, function](const ScpiCall& call) -> ScpiReply {
                      if (!call.resumed) {
                          if (auto error = configure(function, call.parameters)) {
                              return *error;
                          }
                          (void)initiate();
                      }
                      return fetch(call);
                  },
                  {0, 1});
        table.add("CONFigure:" + pattern,
                  [this, function](const ScpiCall& call) -> ScpiReply {
                      if (auto error = configure(function, call.parameters)) {
                          return *error;
                      }
                      return {};
                  },
                  {0, 1});
    }
    for (const ToneQuery& query : ToneQueries) {
        table.add("MEASure:DISTortion:" + QByteArray(query.pattern) + '?',
                  [this, value = query.value](const ScpiCall& call) {
                      return measureTone(call, {value});
                  },
                  {0, 1});
    }
    // All of them of one span, channel after channel.
    std::vector<ToneValue> all;
    for (const ToneQuery& query : ToneQueries) {
        all.push_back(query.value);
    }
    table.add("MEASure:DISTortion?",
              [this, all](const ScpiCall& call) { return measureTone(call, all); }, {0, 1});
    table.add("CONFigure?", [this](const ScpiCall&) {
        return ScpiReply('"' + m_function.name + " (@" +
                         Joined(m_channels, [](int c) { return QByteArray::number(c + 1); }) +
                         ")\"");
    });
    table.add("INITiate[:IMMediate]", [this](const ScpiCall&) -> ScpiReply {
        if (auto error = initiate()) {
            return *error;
        }
        return {};
    });
    table.add("ABORt", [this](const ScpiCall&) {
        m_state = State::Idle;
        return ScpiReply();
    });
    table.add("*TRG", [this](const ScpiCall&) -> ScpiReply {
        if (m_state != State::WaitingForTrigger) {
            return Error(ScpiCode::TriggerIgnored);
        }
        m_state = State::Running;
        return {};
    });
    table.add("READ?", [this](const ScpiCall& call) -> ScpiReply {
        if (!call.resumed) {
            if (auto error = initiate()) {
                return *error;
            }
        }
        return fetch(call);
    });
    table.add("FETCh?", [this](const ScpiCall& call) { return fetch(call); });
    table.add("SAMPle:COUNt",
              [this](const ScpiCall& call) -> ScpiReply {
                  const ScpiParameter& count = call.parameters.front();
                  if (count.isCharacters("INFinity")) {
                      m_sampleCount = 0;
                  } else if (count.isCharacters("MINimum") || count.isCharacters("MAXimum")) {
                      m_sampleCount = count.isCharacters("MINimum") ? 1 : MaxSampleCount;
                  } else if (count.type != ScpiParameter::Type::Number) {
                      return Error(ScpiCode::DataTypeError);
                  } else if (std::round(count.number) < 1 ||
                             std::round(count.number) > static_cast<double>(MaxSampleCount)) {
                      return Error(ScpiCode::DataOutOfRange, "1 to 1000000, or INFinity");
                  } else {
                      m_sampleCount = std::llround(count.number);
                  }
                  return {};
              },
              {1, 1});
    table.add("SAMPle:COUNt?", [this](const ScpiCall&) {
        return ScpiReply(m_sampleCount == 0 ? ScpiNumber(ScpiOverload)
                                            : QByteArray::number(m_sampleCount));
    });
    table.add("TRIGger:SOURce",
              [this](const ScpiCall& call) -> ScpiReply {
                  const ScpiParameter& source = call.parameters.front();
                  if (!source.isCharacters("IMMediate") && !source.isCharacters("BUS")) {
                      return Error(ScpiCode::DataOutOfRange, "IMMediate or BUS");
                  }
                  m_busTrigger = source.isCharacters("BUS");
                  return {};
              },
              {1, 1});
    table.add("TRIGger:SOURce?",
              [this](const ScpiCall&) { return ScpiReply(m_busTrigger ? "BUS" : "IMM"); });
    table.add("DATA:POINts?", [this](const ScpiCall&) {
        return ScpiReply(QByteArray::number(static_cast<qulonglong>(m_memory.size())));
    });
    table.add("DATA:REMove?", [this](const ScpiCall& call) { return removeData(call); }, {1, 2});
    table.add("[SENSe:]RANGe", [this](const ScpiCall& call) { return setRange(call); },
              {2, 2, true});
    // A query of a setting per channel, both unless a channel list names some.
    const auto perChannel = [&table](QByteArrayView pattern, std::function<QByteArray(int)> each) {
        table.add(pattern,
                  [each = std::move(each)](const ScpiCall& call) -> ScpiReply {
                      std::vector<int> channels{0, 1};
                      if (!call.parameters.isEmpty()) {
                          if (auto error = ChannelsOf(call.parameters.front(), channels)) {
                              return *error;
                          }
                      }
                      return ScpiReply(Joined(channels, each));
                  },
                  {0, 1});
    };
    perChannel("[SENSe:]RANGe?", [&host](int channel) { return RangeText(host.range(channel)); });
    perChannel("[SENSe:]UNIT?", [&host](int channel) {
        const char unit = host.unitLetter(channel);
        return unit == 'V' || unit == 'A' ? QByteArray(1, unit) : QByteArray("RAW");
    });
    perChannel("SYSTem:LEVel?", [&host](int channel) {
        return QByteArray(host.levelMoved().at(static_cast<std::size_t>(channel)) ? "0" : "1");
    });
    table.add("SYSTem:STALl?",
              [&host](const ScpiCall&) { return ScpiReply(host.stalled() ? "1" : "0"); });
}

}  // namespace veruziva
