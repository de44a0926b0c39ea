// Any bytes a client may send the SCPI instrument: split into lines as the server does, each run
// in one session against commands of every kind of parameter, and in a session of the meter's
// commands with a block measured after each line (what waits for one is then asked again).
#include <QByteArray>
#include <QByteArrayList>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "scpi/meter/meterclient.h"
#include "scpi/scpicommandtable.h"
#include "scpi/scpinumber.h"
#include "scpi/scpisession.h"

using namespace veruziva;

namespace {

const ScpiCommandTable& Commands() {
    static const ScpiCommandTable table = [] {
        ScpiCommandTable commands;
        commands.add("MEASure:VOLTage[:DC]?", [](const ScpiCall&) { return ScpiNumber(1.5); });
        commands.add("[SENSe:]RANGe", [](const ScpiCall&) { return ScpiReply(); }, {1, 1});
        // Every parameter written back, the channels of a list one by one.
        commands.add("[DIAGnostic:]ECHO?",
                     [](const ScpiCall& call) {
                         QByteArrayList texts;
                         for (const ScpiParameter& parameter : call.parameters) {
                             texts.append(ScpiNumber(parameter.number) + parameter.text);
                             for (const int channel : parameter.channels) {
                                 texts.append(QByteArray::number(channel));
                             }
                         }
                         return ScpiReply(texts.join(','));
                     },
                     {0, 8});
        return commands;
    }();
    return table;
}

// A meter whose every answer the commands may meet: both units, a moved level.
class Host : public MeterHost {
public:
    QByteArray deviceIdentity() const override { return "hw:0,0"; }
    int range(int channel) const override { return m_ranges.at(static_cast<std::size_t>(channel)); }
    bool setRange(int channel, int range) override {
        m_ranges.at(static_cast<std::size_t>(channel)) = range;
        return true;
    }
    char unitLetter(int channel) const override { return range(channel) == 4 ? 'A' : ' '; }
    std::array<bool, 2> levelMoved() const override { return {false, true}; }
    bool stalled() const override { return false; }
    double sampleClockPpm() const override { return 0.0; }

private:
    std::array<int, 2> m_ranges{2, 4};
};

// One line's response is nothing or one line, and the queue holds no more than it may.
void CheckResponse(const QByteArray& response, ScpiSession& session) {
    if (!response.isEmpty() && response.indexOf('\n') != response.size() - 1) {
        __builtin_trap();
    }
    if (session.status().errorCount() > ScpiStatus::QueueSize) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ScpiSession session(Commands());
    Host host;
    MeterInstrument instrument(host);
    ScpiSession meter(MeterClient::NewCommands(instrument));
    Readouts readouts;
    const BlockSettings settings;
    std::int64_t time = 0;
    // A tone on A for the analyzer's readings.
    static const std::vector<StereoFrame> frames = [] {
        std::vector<StereoFrame> tone(FramesPerBuffer);
        for (std::size_t i = 0; i < tone.size(); ++i) {
            tone[i] = {static_cast<std::int16_t>(
                           std::lround(8000 * std::sin(0.1 * static_cast<double>(i)))),
                       0};
        }
        return tone;
    }();
    for (const QByteArray& line : input.split('\n')) {
        CheckResponse(session.execute(line), session);
        // A line waits for at most a few blocks; a thousand means it never ends.
        QByteArray response = meter.execute(line);
        for (int block = 0; block < 1000 && meter.waiting(); ++block) {
            readouts.a.values[IndexOfMean] = static_cast<double>(++time);
            instrument.blockMeasured(MeasuredBlock{frames, readouts, settings, time});
            response = meter.resume();
        }
        if (meter.waiting()) {
            meter.execute("ABOR");  // an endless acquisition waited for on purpose
        }
        CheckResponse(response, meter);
    }
    return 0;
}
