#include "scpi/meter/meterserver.h"

#include "scpi/meter/meterclient.h"

namespace veruziva {

MeterServer::MeterServer(MeterHost& host, ScpiServer::Limits limits)
    : m_instrument(host),
      m_server(
          [this] { return std::make_unique<ScpiSession>(MeterClient::NewCommands(m_instrument)); },
          limits) {
    m_instrument.onChange = [this] { m_server.resumeWaiting(); };
}

bool ParseServeAddress(const QString& text, QHostAddress& address, quint16& port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? QStringLiteral("127.0.0.1") : text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    }
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        host = QStringLiteral("127.0.0.1");
    }
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (!ok || number > 65535 || !address.setAddress(host)) {
        return false;
    }
    port = static_cast<quint16>(number);
    return true;
}

}  // namespace veruziva
