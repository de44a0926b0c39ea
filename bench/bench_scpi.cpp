// A SCPI query on loopback as a VISA client sees it: the server on a thread of its own, the
// client waiting for each answer.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTcpSocket>
#include <QThread>
#include <memory>

#include "scpi/meter/meterclient.h"
#include "scpi/scpicommandtable.h"
#include "scpi/scpisession.h"
#include "scpi/server/scpiserver.h"

using namespace veruziva;

namespace {

// The server and its thread for one benchmark, with a connected client.
class Loopback {
public:
    Loopback() {
        m_table.add("*IDN?", [](const ScpiCall&) { return ScpiReply("VERUZIVA,BENCH,0,1"); });
        m_thread.start();
        m_server = new ScpiServer([this] { return std::make_unique<ScpiSession>(m_table); });
        m_server->moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            m_server, [this] { m_server->listen(QHostAddress(QHostAddress::LocalHost), 0); },
            Qt::BlockingQueuedConnection);
        m_client.connectToHost(QHostAddress::LocalHost, m_server->serverPort());
        m_client.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_client.waitForConnected();
    }
    ~Loopback() {
        m_client.abort();
        QMetaObject::invokeMethod(
            m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    // Sends the queries, then reads as many answers; false when one does not come.
    bool ask(const QByteArray& queries, int answers) {
        m_client.write(queries);
        for (int i = 0; i < answers; ++i) {
            while (!m_client.canReadLine()) {
                if (!m_client.waitForReadyRead(5000)) {
                    return false;
                }
            }
            m_client.readLine(m_line, sizeof m_line);
        }
        return true;
    }

private:
    ScpiCommandTable m_table;
    QThread m_thread;
    ScpiServer* m_server = nullptr;
    QTcpSocket m_client;
    char m_line[256] = {};
};

// One query and its answer at a time: the round trip.
void BM_QueryRoundTrip(benchmark::State& state) {
    Loopback loopback;
    for (auto _ : state) {
        if (!loopback.ask("*IDN?\n", 1)) {
            state.SkipWithError("no answer");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueryRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Queries sent ahead, then their answers read: what the server gets through.
void BM_QueriesPipelined(benchmark::State& state) {
    Loopback loopback;
    const int count = static_cast<int>(state.range(0));
    const QByteArray queries = QByteArray("*IDN?\n").repeated(count);
    for (auto _ : state) {
        if (!loopback.ask(queries, count)) {
            state.SkipWithError("no answer");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_QueriesPipelined)->Arg(100)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The meter behind the commands, calibrated nowhere, never stalled.
class BenchHost : public MeterHost {
public:
    QByteArray deviceIdentity() const override { return "bench"; }
    int range(int /*channel*/) const override { return 2; }
    bool setRange(int /*channel*/, int /*range*/) override { return true; }
    char unitLetter(int /*channel*/) const override { return 'V'; }
    std::array<bool, 2> levelMoved() const override { return {false, false}; }
    bool stalled() const override { return false; }
    double sampleClockPpm() const override { return 0.0; }
};

// What a block costs the capture's thread with clients taking every reading into memory:
// one per block is the server's share of each block's handling.
void BM_BlockToClients(benchmark::State& state) {
    BenchHost host;
    MeterInstrument instrument(host);
    std::vector<std::unique_ptr<ScpiSession>> sessions;
    for (int i = 0; i < state.range(0); ++i) {
        sessions.push_back(std::make_unique<ScpiSession>(MeterClient::NewCommands(instrument)));
        sessions.back()->execute("CONF:VOLT (@1,2);:SAMP:COUN INF;:INIT");
    }
    Readouts readouts;
    const BlockSettings settings;
    std::int64_t time = 0;
    for (auto _ : state) {
        instrument.blockMeasured(MeasuredBlock{{}, readouts, settings, ++time});
        if (time % 50000 == 0) {
            for (auto& session : sessions) {
                benchmark::DoNotOptimize(session->execute("DATA:REM? 50000"));
            }
        }
    }
}
BENCHMARK(BM_BlockToClients)->Arg(1)->Arg(16)->Unit(benchmark::kNanosecond);

// A reading query run by a client's session, no network: FETCh? of the newest block.
void BM_FetchInSession(benchmark::State& state) {
    BenchHost host;
    MeterInstrument instrument(host);
    ScpiSession session(MeterClient::NewCommands(instrument));
    Readouts readouts;
    readouts.a.values[IndexOfMean] = 1.2345;
    readouts.b.values[IndexOfMean] = -0.5;
    const BlockSettings settings;
    instrument.blockMeasured(MeasuredBlock{{}, readouts, settings, 1});
    for (auto _ : state) {
        benchmark::DoNotOptimize(session.execute("FETC?"));
    }
}
BENCHMARK(BM_FetchInSession)->Unit(benchmark::kNanosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
