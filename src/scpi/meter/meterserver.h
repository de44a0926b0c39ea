#pragma once

#include <QObject>

#include "scpi/meter/meterinstrument.h"
#include "scpi/server/scpiserver.h"

namespace veruziva {

// The meter as a SCPI instrument on raw TCP: the sink that takes the measured blocks, and the
// server whose clients each get their own configuration, acquisition and reading memory. Add
// sink() to the block handler; tell inputChanged() when the input stalls, delivers again or its
// level moves.
class MeterServer {
public:
    explicit MeterServer(MeterHost& host, ScpiServer::Limits limits = {});

    bool listen(const QHostAddress& address, quint16 port) {
        return m_server.listen(address, port);
    }
    quint16 serverPort() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }
    int clientCount() const { return m_server.clientCount(); }

    BlockSink& sink() { return m_instrument; }
    void inputChanged() { m_instrument.inputChanged(); }

private:
    MeterInstrument m_instrument;
    ScpiServer m_server;  // after the instrument: its clients go first
};

// The server's address in the form ADDRESS:PORT, or PORT alone (on loopback); false when it is
// not one. An IPv6 address is written in brackets: [::1]:5025.
bool ParseServeAddress(const QString& text, QHostAddress& address, quint16& port);

}  // namespace veruziva
