#include <sys/socket.h>

#include <QTcpSocket>
#include <QTest>
#include <memory>
#include <vector>

#include "scpi/scpicommandtable.h"
#include "scpi/scpisession.h"
#include "scpi/server/scpiserver.h"

using namespace veruziva;

namespace {

const QByteArray Idn = "VERUZIVA,TEST,0,1\n";
const QByteArray NoError = "0,\"No error\"\n";
const QByteArray Overrun = "-363,\"Input buffer overrun\"\n";
const int Patience = 10000;  // ms: only a broken server makes a test wait this long

// A client on loopback.
std::unique_ptr<QTcpSocket> Connect(const ScpiServer& server) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, server.serverPort());
    return socket;
}

bool Connected(QTcpSocket& socket) {
    return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; },
                           Patience);
}

bool Closed(QTcpSocket& socket) {
    return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; },
                           Patience);
}

// The next lines the server writes: as many as asked, fewer when they do not come.
QByteArrayList Lines(QTcpSocket& socket, int count) {
    QByteArrayList lines;
    (void)QTest::qWaitFor(
        [&] {
            while (lines.size() < count && socket.canReadLine()) {
                lines.append(socket.readLine());
            }
            return lines.size() == count;
        },
        Patience);
    return lines;
}

QByteArrayList Ask(QTcpSocket& socket, const QByteArray& lines, int count) {
    socket.write(lines);
    return Lines(socket, count);
}

// Bytes from a fixed seed, '\n' among them.
QByteArray Noise(int size) {
    QByteArray bytes(size, '\0');
    quint32 state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245U + 12345U;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

}  // namespace

class TestScpiServer : public QObject {
    Q_OBJECT

public:
    TestScpiServer() {
        m_table.add("*IDN?", [](const ScpiCall&) { return ScpiReply("VERUZIVA,TEST,0,1"); });
        m_table.add("BIG?", [](const ScpiCall&) { return ScpiReply(QByteArray(65536, 'x')); });
        m_table.add("COUNT", [this](const ScpiCall&) {
            ++m_counted;
            return ScpiReply();
        });
        m_table.add("FRESh?", [this](const ScpiCall&) {
            return m_ready ? ScpiReply("7") : ScpiReply::Wait();
        });
    }

private slots:
    void defaults();
    void separateClients();
    void longLine_data();
    void longLine();
    void junk_data();
    void junk();
    void idleClose();
    void clientCap_data();
    void clientCap();
    void connectionFlood();
    void nonReadingClient();
    void closeMidLine_data();
    void closeMidLine();
    void halfClose();
    void waitingClient();
    void longAnswer();

private:
    std::unique_ptr<ScpiServer> serve(ScpiServer::Limits limits = {}) {
        auto server = std::make_unique<ScpiServer>(
            [this] {
                ++m_sessions;
                return std::make_unique<ScpiSession>(m_table);
            },
            limits);
        if (!server->listen(QHostAddress(QHostAddress::LocalHost), 0)) {
            qFatal("listen: %s", qPrintable(server->errorString()));
        }
        return server;
    }

    ScpiCommandTable m_table;
    int m_sessions = 0;
    int m_counted = 0;
    bool m_ready = false;
};

void TestScpiServer::defaults() {
    const ScpiServer::Limits limits;
    QCOMPARE(limits.maxLine, 65536);
    QCOMPARE(limits.maxClients, 16);
    QCOMPARE(limits.idleTimeout, std::chrono::milliseconds(600000));
    QCOMPARE(limits.maxPendingOutput, 1048576);
}

void TestScpiServer::separateClients() {
    m_sessions = 0;
    const auto server = serve();
    const auto first = Connect(*server);
    const auto second = Connect(*server);
    QVERIFY(Connected(*first) && Connected(*second));
    QCOMPARE(Ask(*first, "BOGUS\n*IDN?\n", 1), QByteArrayList{Idn});
    QCOMPARE(Ask(*second, "SYST:ERR?\n", 1), QByteArrayList{NoError});
    QCOMPARE(Ask(*first, "SYST:ERR?\r\nSYST:ERR?\n", 2),
             (QByteArrayList{"-113,\"Undefined header\"\n", NoError}));
    QCOMPARE(m_sessions, 2);
}

void TestScpiServer::longLine_data() {
    // A line, then "*IDN?" and two error queries: a line too long is logged once and dropped
    // whole, its end included.
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArrayList>("responses");

    const auto query = [](int size, const QByteArray& end = {}) {
        return QByteArray(size - 5, ' ') + "*IDN?" + end;
    };
    const QByteArrayList taken{Idn, Idn, NoError, NoError};
    const QByteArrayList dropped{Idn, Overrun, NoError};
    QTest::newRow("64 KiB") << query(65536) << taken;
    QTest::newRow("64 KiB and CR") << query(65536, "\r") << taken;
    QTest::newRow("64 KiB and a byte") << query(65537) << dropped;
    QTest::newRow("64 KiB, CR and a byte") << query(65536, "\r ") << dropped;
    QTest::newRow("64 KiB and two CRs") << query(65536, "\r\r") << dropped;
    QTest::newRow("1 MiB") << query(1048576) << dropped;
}

void TestScpiServer::longLine() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArrayList, responses);

    const auto server = serve();
    const auto client = Connect(*server);
    QVERIFY(Connected(*client));
    QCOMPARE(Ask(*client, line + "\n*IDN?\nSYST:ERR?\nSYST:ERR?\n", int(responses.size())),
             responses);
    QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
}

void TestScpiServer::junk_data() {
    QTest::addColumn<QByteArray>("junk");
    QTest::addColumn<QByteArray>("firstError");

    const QByteArray invalid = "-101,\"Invalid character\"\n";
    QTest::newRow("NUL bytes") << QByteArray(64, '\0') << invalid;
    QTest::newRow("beyond ASCII") << QByteArray("\xc3\xa9\xff\xfe") << invalid;
    QTest::newRow("telnet options") << QByteArray("\xff\xfb\x01\xff\xfd\x03") << invalid;
    QTest::newRow("noise") << Noise(262144) << QByteArray("-");
}

void TestScpiServer::junk() {
    QFETCH(QByteArray, junk);
    QFETCH(QByteArray, firstError);

    const auto server = serve();
    const auto noisy = Connect(*server);
    const auto quiet = Connect(*server);
    QVERIFY(Connected(*noisy) && Connected(*quiet));
    const QByteArrayList answers = Ask(*noisy, junk + "\n*IDN?\nSYST:ERR?\n", 2);
    QCOMPARE(answers.size(), 2);
    QCOMPARE(answers.front(), Idn);
    QVERIFY2(answers.back().startsWith(firstError), answers.back());
    QCOMPARE(Ask(*quiet, "SYST:ERR?\n", 1), QByteArrayList{NoError});
    QCOMPARE(server->clientCount(), 2);
}

void TestScpiServer::idleClose() {
    ScpiServer::Limits limits;
    limits.idleTimeout = std::chrono::milliseconds(50);
    const auto server = serve(limits);
    const auto client = Connect(*server);
    QVERIFY(Connected(*client));
    QVERIFY(Closed(*client));
    QTRY_COMPARE(server->clientCount(), 0);
}

void TestScpiServer::clientCap_data() {
    QTest::addColumn<int>("cap");
    QTest::newRow("1") << 1;
    QTest::newRow("3") << 3;
}

void TestScpiServer::clientCap() {
    QFETCH(int, cap);

    ScpiServer::Limits limits;
    limits.maxClients = cap;
    const auto server = serve(limits);
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < cap; ++i) {
        clients.push_back(Connect(*server));
        QVERIFY(Connected(*clients.back()));
        QTRY_COMPARE(server->clientCount(), i + 1);
    }
    const auto turnedAway = Connect(*server);
    QVERIFY(Closed(*turnedAway));
    for (const auto& client : clients) {
        QCOMPARE(Ask(*client, "*IDN?\n", 1), QByteArrayList{Idn});
    }
    // A place freed is taken by the next one.
    clients.front()->abort();
    QTRY_COMPARE(server->clientCount(), cap - 1);
    const auto next = Connect(*server);
    QCOMPARE(Ask(*next, "*IDN?\n", 1), QByteArrayList{Idn});
    QCOMPARE(server->clientCount(), cap);
}

void TestScpiServer::connectionFlood() {
    const auto server = serve();
    const auto first = Connect(*server);
    const auto second = Connect(*server);
    QCOMPARE(Ask(*first, "*IDN?\n", 1), QByteArrayList{Idn});
    QCOMPARE(Ask(*second, "*IDN?\n", 1), QByteArrayList{Idn});

    std::vector<std::unique_ptr<QTcpSocket>> flood;
    for (int i = 0; i < 100; ++i) {
        flood.push_back(Connect(*server));
    }
    const auto closedCount = [&] {
        return std::count_if(flood.begin(), flood.end(), [](const auto& socket) {
            return socket->state() == QAbstractSocket::UnconnectedState;
        });
    };
    QTRY_COMPARE_WITH_TIMEOUT(closedCount(), 86, Patience);
    QCOMPARE(server->clientCount(), 16);
    QCOMPARE(Ask(*first, "*IDN?\n", 1), QByteArrayList{Idn});
    QCOMPARE(Ask(*second, "*IDN?\n", 1), QByteArrayList{Idn});
    flood.clear();
    QTRY_COMPARE(server->clientCount(), 2);
}

void TestScpiServer::nonReadingClient() {
    const auto server = serve();
    const auto reader = Connect(*server);
    const auto hoarder = Connect(*server);
    // Once its one byte is taken, the client leaves the rest to the system's buffers.
    hoarder->setReadBufferSize(1);
    QVERIFY(Connected(*reader) && Connected(*hoarder));
    QTRY_COMPARE(server->clientCount(), 2);
    // 2000 answers of 64 KiB: far more than any system buffers and the cap.
    hoarder->write(QByteArray("BIG?\n").repeated(2000));
    QTRY_COMPARE_WITH_TIMEOUT(server->clientCount(), 1, Patience);
    QCOMPARE(Ask(*reader, "*IDN?\n", 1), QByteArrayList{Idn});
}

void TestScpiServer::closeMidLine_data() {
    // The client goes with a line not ended: what it ended ran, what it did not is not run.
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("line begun") << QByteArray("COUNT\nCOUNT");
    QTest::newRow("CR alone ends nothing") << QByteArray("COUNT\nCOUNT\r");
}

void TestScpiServer::closeMidLine() {
    QFETCH(QByteArray, bytes);

    m_counted = 0;
    const auto server = serve();
    auto client = Connect(*server);
    QVERIFY(Connected(*client));
    client->write(bytes);
    QTRY_COMPARE(m_counted, 1);
    client->disconnectFromHost();
    QTRY_COMPARE(server->clientCount(), 0);
    QCOMPARE(m_counted, 1);
}

void TestScpiServer::halfClose() {
    // A client that ends its sending and waits (`nc` from a pipe) is answered, then closed.
    const auto server = serve();
    const auto client = Connect(*server);
    QVERIFY(Connected(*client));
    client->write("*IDN?\n*IDN?\n");
    QVERIFY(client->flush());
    QCOMPARE(::shutdown(static_cast<int>(client->socketDescriptor()), SHUT_WR), 0);
    QCOMPARE(Lines(*client, 2), (QByteArrayList{Idn, Idn}));
    QVERIFY(Closed(*client));
    QTRY_COMPARE(server->clientCount(), 0);
}

void TestScpiServer::waitingClient() {
    // A client whose query waits gets nothing more until it is answered, then all in order; the
    // others are answered meanwhile.
    m_ready = false;
    m_counted = 0;
    const auto server = serve();
    const auto waiting = Connect(*server);
    const auto other = Connect(*server);
    QVERIFY(Connected(*waiting) && Connected(*other));
    waiting->write("FRESH?;*IDN?\nCOUNT\n*IDN?\n*IDN");
    QCOMPARE(Ask(*other, "*IDN?\n", 1), QByteArrayList{Idn});
    QCOMPARE(m_counted, 0);
    QCOMPARE(waiting->bytesAvailable(), 0);
    server->resumeWaiting();  // not ready yet
    QCOMPARE(m_counted, 0);
    m_ready = true;
    server->resumeWaiting();
    QCOMPARE(m_counted, 1);
    QCOMPARE(Lines(*waiting, 2), (QByteArrayList{"7;" + Idn, Idn}));
    // The line begun before the wait is ended by bytes after it.
    QCOMPARE(Ask(*waiting, "?\n", 1), QByteArrayList{Idn});
}

void TestScpiServer::longAnswer() {
    // One answer longer than the unread cap is sent whole to a client that reads it.
    ScpiServer::Limits limits;
    limits.maxPendingOutput = 1000;
    const auto server = serve(limits);
    const auto client = Connect(*server);
    QVERIFY(Connected(*client));
    QCOMPARE(Ask(*client, "BIG?\n*IDN?\n", 2),
             (QByteArrayList{QByteArray(65536, 'x') + '\n', Idn}));
}

QTEST_GUILESS_MAIN(TestScpiServer)
#include "tst_scpiserver.moc"
