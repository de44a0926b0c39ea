// A SCPI query on loopback as a VISA client sees it: the server on a thread of its own, the
// client waiting for each answer.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTcpSocket>
#include <QThread>
#include <memory>

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
