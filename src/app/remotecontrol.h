#pragma once

#include <QString>
#include <array>
#include <functional>
#include <memory>

#include "calibration/calibrationstate.h"
#include "instrument/blocksink.h"
#include "scpi/meter/meterserver.h"

namespace veruziva {

class Dialogs;

// The window's measurement served as a SCPI instrument, as `veruziva-meter --serve` serves the
// tool's: "Remote control..." asks where to listen and starts the server, and asked again
// stops it. The ranges stay the window's: remote clients read them, its buttons set them.
class RemoteControl {
public:
    // What the server reads of the window.
    struct Window {
        std::function<QByteArray()> deviceIdentity;
        std::function<RangeSelection()> ranges;
        std::function<std::array<char, 2>()> unitLetters;
        std::function<std::array<bool, 2>()> levelMoved;
        std::function<bool()> stalled;
        std::function<double()> sampleClockPpm;
        // The caption's addition while serving ("" when off).
        std::function<void(const QString&)> showServing;
    };

    RemoteControl(Window window, Dialogs& dialogs);
    ~RemoteControl();

    // Told every block: handed on to the server while it runs.
    BlockSink& sink() { return m_sink; }
    // The menu entry.
    void toggle();
    // The input stalled, delivers again, or its level moved.
    void inputChanged();
    bool serving() const { return m_server != nullptr; }
    quint16 port() const;

private:
    class Host;
    class Sink : public BlockSink {
    public:
        void blockMeasured(const MeasuredBlock& block) override {
            if (server != nullptr) {
                server->sink().blockMeasured(block);
            }
        }
        MeterServer* server = nullptr;
    };

    void start();
    void stop();

    Window m_window;
    Dialogs& m_dialogs;
    std::unique_ptr<Host> m_host;
    std::unique_ptr<MeterServer> m_server;
    Sink m_sink;
    QString m_lastAddress = QStringLiteral("127.0.0.1:5025");
};

}  // namespace veruziva
