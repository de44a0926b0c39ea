#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <chrono>
#include <functional>
#include <memory>
#include <unordered_set>

#include "scpi/scpisession.h"

namespace veruziva {

// The instrument on raw TCP (a VISA "SOCKET" resource): each client's bytes are cut into lines at
// '\n' (a '\r' before it dropped), each line run by that client's own session in the order it
// came, its response written back. Everything happens on the thread that owns the server, never
// waiting on a socket: a slow or hostile client costs the others nothing but its turns.
class ScpiServer : public QObject {
    Q_OBJECT
public:
    using SessionFactory = std::function<std::unique_ptr<ScpiSession>()>;

    struct Limits {
        // Bytes of a line, its "\r\n" or '\n' aside. A longer line is dropped up to its '\n' and
        // logged as -363 in its client's queue.
        qsizetype maxLine = 64 * 1024;
        // A client beyond this is accepted and closed at once.
        int maxClients = 16;
        // A client that sends nothing this long is closed.
        std::chrono::milliseconds idleTimeout = std::chrono::minutes(10);
        // A client that asks again while more than this of its answers lies unread, past what
        // the system buffers, is closed: what it does not read is its memory, not the server's.
        // One answer may be longer (a memory of readings fetched whole).
        qint64 maxPendingOutput = 1024 * 1024;
    };

    // Each client gets a session of its own from the factory: its own error queue and status.
    explicit ScpiServer(SessionFactory factory, Limits limits, QObject* parent = nullptr);
    explicit ScpiServer(SessionFactory factory, QObject* parent = nullptr)
        : ScpiServer(std::move(factory), Limits{}, parent) {}
    ~ScpiServer() override;

    // Port 0 takes any free port (serverPort() tells which). False with errorString() on failure.
    bool listen(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost),
                quint16 port = 5025);
    quint16 serverPort() const { return m_listener.serverPort(); }
    QString errorString() const { return m_listener.errorString(); }
    int clientCount() const { return static_cast<int>(m_clients.size()); }

    // The sessions that wait (a reading of a block to come) are asked again, those that answer
    // written to and their clients' next lines run. A client's lines wait behind its session:
    // its unread bytes stay with the system, which holds the client back when they fill it.
    void resumeWaiting();

private:
    struct Client;

    void acceptPending();
    void readFrom(Client* client);
    // Runs the lines the bytes complete; false once the client is closed.
    bool takeBytes(Client* client, QByteArrayView bytes);
    // Writes a response; false once the client is closed.
    bool send(Client* client, const QByteArray& response);
    void overrun(Client* client);
    void close(Client* client);

    SessionFactory m_factory;
    Limits m_limits;
    QTcpServer m_listener;
    std::unordered_set<Client*> m_clients;
};

}  // namespace veruziva
