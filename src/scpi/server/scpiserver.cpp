#include "scpi/server/scpiserver.h"

#include <QTcpSocket>
#include <QTimer>

namespace veruziva {

// Deleted later, never from inside one of its own socket's signals.
struct ScpiServer::Client : QObject {
    Client(QTcpSocket* connection, std::unique_ptr<ScpiSession> own, QObject* parent)
        : QObject(parent), socket(connection), session(std::move(own)) {
        socket->setParent(this);
        idle.setSingleShot(true);
        idle.setTimerType(Qt::CoarseTimer);
    }

    QTcpSocket* socket;
    std::unique_ptr<ScpiSession> session;
    QTimer idle;
    QByteArray line;        // the bytes of the line not yet ended
    QByteArray held;        // bytes read after a line its session waits on
    bool dropping = false;  // inside a line too long, until its '\n'
    bool closed = false;
};

ScpiServer::ScpiServer(SessionFactory factory, Limits limits, QObject* parent)
    // The listener a child, so that it moves with the server to another thread.
    : QObject(parent), m_factory(std::move(factory)), m_limits(limits), m_listener(this) {
    connect(&m_listener, &QTcpServer::newConnection, this, &ScpiServer::acceptPending);
}

ScpiServer::~ScpiServer() {
    for (Client* client : std::unordered_set<Client*>(m_clients)) {
        close(client);
    }
}

bool ScpiServer::listen(const QHostAddress& address, quint16 port) {
    // Room for a burst of connections beyond the clients taken: those are closed at once
    // rather than left to time out in the system's queue.
    m_listener.setListenBacklogSize(128);
    return m_listener.listen(address, port);
}

void ScpiServer::acceptPending() {
    while (QTcpSocket* socket = m_listener.nextPendingConnection()) {
        if (clientCount() >= m_limits.maxClients) {
            // Closed rather than left pending: a connection waiting in the backlog looks open to
            // its client, whose queries would then hang without a word; a close says "busy" now
            // and keeps the backlog free for the clients that come once one has gone.
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* client = new Client(socket, m_factory(), this);
        m_clients.insert(client);
        // Answers are short and awaited one by one: none should wait for the next write.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Bounds what one client holds unread and how much it gets done in one turn.
        socket->setReadBufferSize(m_limits.maxLine + 2);
        connect(socket, &QTcpSocket::readyRead, client, [this, client] { readFrom(client); });
        connect(socket, &QTcpSocket::disconnected, client, [this, client] { close(client); });
        connect(socket, &QTcpSocket::errorOccurred, client, [this, client] { close(client); });
        connect(&client->idle, &QTimer::timeout, client, [this, client] { close(client); });
        client->idle.start(m_limits.idleTimeout);
        // Bytes that came with the connection, before readyRead was connected.
        if (socket->bytesAvailable() > 0) {
            readFrom(client);
        }
    }
}

void ScpiServer::resumeWaiting() {
    for (Client* client : std::vector<Client*>(m_clients.begin(), m_clients.end())) {
        if (client->closed || !client->session->waiting()) {
            continue;
        }
        if (!send(client, client->session->resume())) {
            continue;
        }
        if (client->session->waiting()) {
            client->socket->flush();
        } else if (takeBytes(client, std::exchange(client->held, {}))) {
            readFrom(client);  // flushes
        }
    }
}

void ScpiServer::readFrom(Client* client) {
    client->idle.start(m_limits.idleTimeout);
    while (!client->closed && !client->session->waiting() && client->socket->bytesAvailable() > 0) {
        const QByteArray bytes = client->socket->read(m_limits.maxLine + 2);
        if (!takeBytes(client, bytes)) {
            return;
        }
    }
    // Handed to the system now, not at the next turn of the loop: a client that has ended its
    // sending is dropped by Qt as soon as that end is read, its unsent answers with it.
    if (!client->closed) {
        client->socket->flush();
    }
}

bool ScpiServer::takeBytes(Client* client, QByteArrayView bytes) {
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', start);
        const QByteArrayView piece = bytes.sliced(start, (end < 0 ? bytes.size() : end) - start);
        if (end < 0) {
            // One byte over the limit is kept: it may be the '\r' of a "\r\n".
            if (!client->dropping) {
                if (client->line.size() + piece.size() > m_limits.maxLine + 1) {
                    overrun(client);
                } else {
                    client->line.append(piece);
                }
            }
            return true;
        }
        start = end + 1;
        if (client->dropping) {
            client->dropping = false;
            continue;
        }
        // A line whole in these bytes is run from them, not copied.
        QByteArray joined;
        QByteArrayView line = piece;
        if (!client->line.isEmpty()) {
            joined = std::exchange(client->line, {}).append(piece);
            line = joined;
        }
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.size() > m_limits.maxLine) {
            client->session->inputOverrun();
            continue;
        }
        if (!send(client, client->session->execute(line))) {
            return false;
        }
        if (client->session->waiting()) {
            // The rest waits for the session, as the socket's unread bytes do.
            client->held = bytes.sliced(start).toByteArray();
            return true;
        }
    }
    return true;
}

bool ScpiServer::send(Client* client, const QByteArray& response) {
    if (response.isEmpty()) {
        return true;
    }
    if (client->socket->bytesToWrite() > m_limits.maxPendingOutput) {
        // What the system takes is no longer ours to hold; the rest is a client not reading.
        client->socket->flush();
        if (client->socket->bytesToWrite() > m_limits.maxPendingOutput) {
            close(client);
            return false;
        }
    }
    client->socket->write(response);
    return true;
}

void ScpiServer::overrun(Client* client) {
    client->session->inputOverrun();
    client->line = QByteArray();
    client->dropping = true;
}

void ScpiServer::close(Client* client) {
    if (m_clients.erase(client) == 0) {
        return;
    }
    client->closed = true;
    client->idle.stop();
    client->socket->disconnect(client);
    client->socket->abort();
    client->deleteLater();
}

}  // namespace veruziva
