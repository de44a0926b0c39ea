#include <QTest>
#include <cmath>
#include <deque>

#include "base/filemetadata.h"
#include "scpi/meter/meterclient.h"
#include "scpi/scpisession.h"

using namespace veruziva;

namespace {

// The program behind the instrument: ranges as set, a unit where a channel is calibrated.
class FakeHost : public MeterHost {
public:
    QByteArray deviceIdentity() const override { return "hw:1,0"; }
    int range(int channel) const override { return ranges.at(static_cast<std::size_t>(channel)); }
    bool setRange(int channel, int range) override {
        ranges.at(static_cast<std::size_t>(channel)) = range;
        return true;
    }
    char unitLetter(int channel) const override {
        if (!calibrated.at(static_cast<std::size_t>(channel))) {
            return ' ';
        }
        return range(channel) == 4 ? 'A' : 'V';
    }
    std::array<bool, 2> levelMoved() const override { return moved; }
    bool stalled() const override { return stall; }
    double sampleClockPpm() const override { return 0.0; }

    std::array<int, 2> ranges{2, 4};
    std::array<bool, 2> calibrated{true, false};
    std::array<bool, 2> moved{false, false};
    bool stall = false;
};

// Two clients on one instrument, run as the server runs them: a client's lines wait behind a
// query that waits, and everything waiting is asked again after each block and input change.
class Bench {
public:
    Bench() {
        m_instrument.onChange = [this] { resumeAll(); };
        for (auto& client : m_clients) {
            client.session = std::make_unique<ScpiSession>(MeterClient::NewCommands(m_instrument));
        }
    }

    // A step: "1:LINE" or "2:LINE" a client's line, "B" a block (B3: three), "S" the input
    // stalls or delivers again, "L" channel B's level moves or comes back.
    void run(const QString& step) {
        if (step.startsWith('B')) {
            const int count = step.size() > 1 ? step.mid(1).toInt() : 1;
            for (int i = 0; i < count; ++i) {
                block();
            }
        } else if (step == "S") {
            host.stall = !host.stall;
            m_instrument.inputChanged();
        } else if (step == "L") {
            host.moved[1] = !host.moved[1];
            m_instrument.inputChanged();
        } else {
            const auto index = static_cast<std::size_t>(step.front().digitValue() - 1);
            m_clients.at(index).lines.push_back(step.mid(2).toLatin1());
            runLines(index);
        }
    }
    QByteArrayList transcript;
    FakeHost host;
    bool withFrames = false;

private:
    struct Client {
        std::unique_ptr<ScpiSession> session;
        std::deque<QByteArray> lines;
    };

    // Block n: mean A n, B -10n; frequency 441; RMS n/2; overloaded A from block 3 on; at
    // n seconds plus 7 ms.
    void block() {
        ++m_blocks;
        const auto n = static_cast<double>(m_blocks);
        Readouts readouts;
        for (auto [channel, sign] : {std::pair{&readouts.a, 1.0}, std::pair{&readouts.b, -10.0}}) {
            channel->values[IndexOfMean] = sign * n;
            channel->values[IndexOfFrequency] = 441;
            channel->values[IndexOfRms] = n / 2;
        }
        readouts.a.values[IndexOfOverload] = m_blocks >= 3 ? 1 : 0;
        const BlockSettings settings;
        // A 1 kHz sine with a tenth of its second harmonic on A, a DC level on B.
        std::vector<StereoFrame> frames(withFrames ? FramesPerBuffer : 0);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const double t = static_cast<double>(m_frames++) / 44100.0;
            frames[i] = {
                static_cast<std::int16_t>(std::lround(8000 * std::sin(2 * M_PI * 1000 * t) +
                                                      800 * std::sin(2 * M_PI * 2000 * t))),
                1500};
        }
        m_instrument.blockMeasured(MeasuredBlock{frames, readouts, settings, m_blocks * 1000 + 7});
    }
    void answer(std::size_t index, const QByteArray& response) {
        if (!response.isEmpty()) {
            transcript.append(QByteArray::number(index + 1) + ':' + response.trimmed());
        }
    }
    void runLines(std::size_t index) {
        Client& client = m_clients.at(index);
        while (!client.session->waiting() && !client.lines.empty()) {
            answer(index, client.session->execute(client.lines.front()));
            client.lines.pop_front();
        }
    }
    void resumeAll() {
        for (std::size_t index = 0; index < m_clients.size(); ++index) {
            if (m_clients[index].session->waiting()) {
                answer(index, m_clients[index].session->resume());
                runLines(index);
            }
        }
    }

    MeterInstrument m_instrument{host};
    std::array<Client, 2> m_clients;
    std::int64_t m_blocks = 0;
    std::int64_t m_frames = 0;
};

const QByteArray NoError = R"x(0,"No error")x";

}  // namespace

class TestScpiMeter : public QObject {
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void memoryFull();
    void distortion();
};

void TestScpiMeter::commands_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArrayList>("transcript");

    QTest::newRow("identity, no comma from the device")
        << QStringList{"1:*IDN?"}
        << QByteArrayList{"1:Zoruzoz,Veruziva,hw:1 0," + ProgramVersion().toUtf8()};
    QTest::newRow("a measurement waits for a block to come")
        << QStringList{"B", "1:MEAS:VOLT? (@1)", "B", "1:MEAS:CURR:DC? (@2)", "B"}
        << QByteArrayList{"1:+2.0E+00", "1:-3.0E+01"};
    QTest::newRow("fetch: the newest block at once, the first when none came")
        << QStringList{"1:FETC?", "B", "B", "1:FETC?", "1:CONF:VOLT:AC;:FETC?"}
        << QByteArrayList{"1:+1.0E+00", "1:+2.0E+00", "1:+1.0E+00"};
    QTest::newRow("a waiting line holds the next ones, and its chain")
        << QStringList{"1:MEAS:FREQ? (@1,2);*IDN?;VOLT? (@1)", "1:SYST:ERR?", "2:*OPC?", "B", "B"}
        << QByteArrayList{"2:1",
                          "1:+4.41E+02,+4.41E+02;Zoruzoz,Veruziva,hw:1 0," +
                              ProgramVersion().toUtf8() + ";+2.0E+00",
                          "1:" + NoError};
    QTest::newRow("every reading of the table by its id")
        << QStringList{"1:MEAS:MEAN? (@1,2);RMS? (@1);OVER? (@1);BAR? (@1);PP? (@1)",
                       "B",
                       "B",
                       "B",
                       "B",
                       "B"}
        << QByteArrayList{"1:+1.0E+00,-1.0E+01;+1.0E+00;+1.0E+00;+0.0E+00;+0.0E+00"};
    QTest::newRow("samples into memory: times, values, flags; removed oldest first")
        << QStringList{"1:CONF:MEAN (@1,2);:SAMP:COUN 3;:INIT",
                       "B",
                       "L",
                       "B",
                       "B",
                       "B",
                       "1:DATA:POIN?;:DATA:REM? 2;:DATA:POIN?",
                       "1:FETC?;:DATA:REM? 1"}
        << QByteArrayList{"1:3;1.007,+1.0E+00,-1.0E+01,0,2.007,+2.0E+00,-2.0E+01,1;1",
                          "1:+3.0E+00,-3.0E+01;3.007,+3.0E+00,-3.0E+01,3"};
    QTest::newRow("remove, waiting for the readings asked")
        << QStringList{"1:SAMP:COUN 2;:INIT;:DATA:REM? 2,WAIT", "B", "B"}
        << QByteArrayList{"1:1.007,+1.0E+00,0,2.007,+2.0E+00,0"};
    QTest::newRow("remove more than there are, or will be")
        << QStringList{"1:DATA:REM? 1;:SYST:ERR?", "1:INIT;:DATA:REM? 2,WAIT;:SYST:ERR?",
                       "1:DATA:REM? 0;:SYST:ERR?"}
        << QByteArrayList{R"x(1:-222,"Data out of range;0 readings in memory")x",
                          R"x(1:-222,"Data out of range;0 readings in memory")x",
                          R"x(1:-222,"Data out of range;1 to 100000 readings")x"};
    QTest::newRow("bus trigger") << QStringList{"1:TRIG:SOUR BUS;:INIT",
                                                "B",
                                                "1:DATA:POIN?;:FETC?;:SYST:ERR?",
                                                "1:*TRG",
                                                "B",
                                                "1:FETC?;*TRG;:SYST:ERR?;:TRIG:SOUR?"}
                                 << QByteArrayList{
                                        R"x(1:0;-214,"Trigger deadlock;waiting for *TRG")x",
                                        R"x(1:+2.0E+00;-211,"Trigger ignored";BUS)x"};
    QTest::newRow("read: an acquisition of its own; init while one runs")
        << QStringList{"1:SAMP:COUN 2;:READ?", "B", "B", "1:SAMP:COUN 3;:INIT;:INIT;:SYST:ERR?",
                       "1:ABOR;:SAMP:COUN INF;:READ?;:SYST:ERR?;:ABOR;:SAMP:COUN?"}
        << QByteArrayList{"1:+1.0E+00,+2.0E+00", R"x(1:-213,"Init ignored")x",
                          "1:" + QByteArray(R"x(-221,"Settings conflict;an endless acquisition: )x"
                                            R"x(DATA:REMove? takes its readings";+9.9E+37)x")};
    QTest::newRow("units, ranges set in either order")
        << QStringList{"1:UNIT?;RANG?",
                       "1:RANG 3A,(@1);:RANG (@2),30 v;:UNIT?;RANG?",
                       "1:RANG 5,(@1);:RANG 3,(@3);:RANG 3 mA,(@1)",
                       "1:RANG 3,3;:SYST:ERR:COUN?",
                       "1:SYST:ERR:COUN?",
                       "1:RANG 3,(@1);:RANG? (@1)"}
        << QByteArrayList{"1:V,RAW;3V,3A", "1:A,RAW;3A,30V", "1:4", "1:3V"};
    QTest::newRow("a function on a range of another unit")
        << QStringList{"1:MEAS:VOLT? (@1,2);:SYST:ERR?;:CONF?", "1:CONF:CURR:AC (@2);:CONF?",
                       "1:CONF:FREQ (@2,1);:CONF?"}
        << QByteArrayList{
               R"x(1:-221,"Settings conflict;channel 2 is on the 3 A range";"VOLT:DC (@1)")x",
               R"x(1:"CURR:AC (@2)")x", R"x(1:"FREQ (@2,1)")x"};
    QTest::newRow("channel lists refused")
        << QStringList{"1:MEAS:VOLT? (@3);:SYST:ERR?", "1:CONF:VOLT (@1,1,1);:SYST:ERR?",
                       "1:CONF:VOLT 1;:SYST:ERR?", "1:SYST:ERR?"}
        << QByteArrayList{
               R"x(1:-222,"Data out of range;the channels are 1 and 2")x",
               R"x(1:-222,"Data out of range;one or two channels: (@1), (@2) or (@1,2)")x",
               R"x(1:-104,"Data type error;a channel list: (@1), (@2) or (@1,2)")x"};
    QTest::newRow("a stalled input: NaN and -240, at once or when a waiting query learns it")
        << QStringList{"2:SAMP:COUN 2;:INIT",
                       "B",
                       "B",
                       "1:MEAS:VOLT? (@1)",
                       "2:MEAS:VOLT? (@1)",
                       "S",
                       "1:FETC?;:SYST:ERR?",
                       "1:SYST:STAL?",
                       "2:SAMP:COUN 2;:INIT;:FETC?",
                       "S",
                       "1:SYST:STAL?;:MEAS:VOLT?",
                       "B"}
        << QByteArrayList{"1:+9.91E+37",
                          "2:+9.91E+37",
                          R"x(1:+9.91E+37;-240,"Hardware error;the input delivers nothing")x",
                          "1:1",
                          "2:+9.91E+37",
                          "1:0;+3.0E+00"};
    QTest::newRow("readings taken before a stall stay good")
        << QStringList{"1:SAMP:COUN 2;:INIT", "B", "B", "S", "1:FETC?;:SYST:ERR?"}
        << QByteArrayList{"1:+1.0E+00,+2.0E+00;" + NoError};
    QTest::newRow("level per channel") << QStringList{"1:SYST:LEV?", "L", "1:SYST:LEV?;LEV? (@2)"}
                                       << QByteArrayList{"1:1,1", "1:1,0;0"};
    QTest::newRow("clients apart: configuration, errors, reset")
        << QStringList{"1:CONF:FREQ (@1,2);:BAD", "2:CONF?;:SYST:ERR?", "1:CONF?;*RST;CONF?"}
        << QByteArrayList{R"x(2:"VOLT:DC (@1)";)x" + NoError,
                          R"x(1:"FREQ (@1,2)";"VOLT:DC (@1)")x"};
}

void TestScpiMeter::commands() {
    QFETCH(QStringList, steps);
    QFETCH(QByteArrayList, transcript);
    Bench bench;
    for (const QString& step : steps) {
        bench.run(step);
    }
    QCOMPARE(bench.transcript, transcript);
}

void TestScpiMeter::memoryFull() {
    // A memory full keeps the newest readings and says once that the oldest went.
    Bench bench;
    bench.run("1:SAMP:COUN INF;:INIT");
    bench.run("B" + QString::number(MeterClient::MemorySize + 2));
    bench.run("1:DATA:POIN?;:DATA:REM? 1;:SYST:ERR?;:SYST:ERR?");
    QCOMPARE(bench.transcript,
             QByteArrayList{"1:100000;3.007,+3.0E+00,2;" +
                            QByteArray(R"x(-300,"Device-specific error;memory full: the oldest )x"
                                       R"x(readings dropped";)x") +
                            NoError});
}

void TestScpiMeter::distortion() {
    // The analyzer's readings of the newest span of frames, kept from the first ask on: none
    // until a span (4 blocks) has come; on B, no tone.
    Bench bench;
    bench.run("B2");
    bench.withFrames = true;
    bench.run("1:MEAS:DIST? (@1)");
    bench.run("B3");
    QCOMPARE(bench.transcript, QByteArrayList{});
    bench.run("B");
    QCOMPARE(bench.transcript.size(), 1);
    // Frequency, level, THD, THD+N, SNR, SINAD, SFDR.
    const QByteArrayList values = bench.transcript.front().mid(2).split(',');
    const std::array<double, 7> expected{1000.0, 8000 / std::sqrt(2.0), 10.0, 10.0, 0, 20.0, 20.0};
    const std::array<double, 7> within{0.01, 1.0, 0.01, 0.05, 0, 0.05, 0.05};
    QCOMPARE(values.size(), 7);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const double value = values[static_cast<qsizetype>(i)].toDouble();
        QVERIFY2(within[i] == 0 || std::abs(value - expected[i]) <= within[i],
                 qPrintable(QStringLiteral("%1: %2").arg(i).arg(value)));
    }
    // The next ask waits for a block of its own; B holds no tone.
    bench.run("1:MEAS:DIST:THD? (@2);:SYST:ERR?");
    QCOMPARE(bench.transcript.size(), 1);
    bench.run("B");
    QCOMPARE(
        bench.transcript.back(),
        QByteArray(
            R"x(1:+9.91E+37;-230,"Data corrupt or stale;no tone stands out of the spectrum")x"));
}

QTEST_GUILESS_MAIN(TestScpiMeter)
#include "tst_scpimeter.moc"
