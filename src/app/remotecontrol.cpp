#include "app/remotecontrol.h"

#include "app/dialogs.h"

namespace veruziva {

class RemoteControl::Host : public MeterHost {
public:
    explicit Host(const Window& window) : m_window(window) {}

    QByteArray deviceIdentity() const override { return m_window.deviceIdentity(); }
    int range(int channel) const override {
        const RangeSelection ranges = m_window.ranges();
        return channel == 0 ? ranges.a : ranges.b;
    }
    bool setRange(int /*channel*/, int /*range*/) override { return false; }
    char unitLetter(int channel) const override {
        return m_window.unitLetters().at(static_cast<std::size_t>(channel));
    }
    std::array<bool, 2> levelMoved() const override { return m_window.levelMoved(); }
    bool stalled() const override { return m_window.stalled(); }
    double sampleClockPpm() const override { return m_window.sampleClockPpm(); }

private:
    const Window& m_window;
};

RemoteControl::RemoteControl(Window window, Dialogs& dialogs)
    : m_window(std::move(window)), m_dialogs(dialogs), m_host(std::make_unique<Host>(m_window)) {}

RemoteControl::~RemoteControl() = default;

quint16 RemoteControl::port() const {
    return m_server ? m_server->serverPort() : 0;
}

void RemoteControl::toggle() {
    if (m_server) {
        if (m_dialogs.confirm(QStringLiteral("Stop the remote control on port %1?").arg(port()),
                              ConfirmButtons::YesNo) == Answer::Yes) {
            stop();
        }
        return;
    }
    start();
}

void RemoteControl::start() {
    const std::optional<QString> where = m_dialogs.askText(
        QStringLiteral("Remote control"),
        QStringLiteral("Serve the readings to SCPI clients (PyVISA: TCPIP::HOST::PORT::SOCKET) "
                       "on [address:]port.\n127.0.0.1 is this computer only; 0.0.0.0 is the "
                       "network, without a password."),
        m_lastAddress);
    if (!where) {
        return;
    }
    QHostAddress address;
    quint16 portNumber = 0;
    if (!ParseServeAddress(where->trimmed(), address, portNumber)) {
        m_dialogs.showMessage(
            QStringLiteral("\"%1\" is not [address:]port, as 5025 or 127.0.0.1:5025.").arg(*where));
        return;
    }
    auto server = std::make_unique<MeterServer>(*m_host);
    if (!server->listen(address, portNumber)) {
        m_dialogs.showMessage(QStringLiteral("The remote control cannot listen on %1: %2")
                                  .arg(where->trimmed(), server->errorString()));
        return;
    }
    m_lastAddress = where->trimmed();
    m_server = std::move(server);
    m_sink.server = m_server.get();
    m_window.showServing(
        QStringLiteral("remote control on %1:%2").arg(address.toString()).arg(port()));
}

void RemoteControl::stop() {
    m_sink.server = nullptr;
    m_server.reset();
    m_window.showServing({});
}

void RemoteControl::inputChanged() {
    if (m_server) {
        m_server->inputChanged();
    }
}

}  // namespace veruziva
