#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <thread>

#include "platform/captureformat.h"

// A private PipeWire server for tests, as a desktop runs it: the PipeWire daemon with its graph at
// 48000 frames/s only, WirePlumber linking the streams, and pipewire-pulse serving PulseAudio
// clients on a socket in the server's folder. Its pipe source "vzpipe" (the default source) is
// fed with two sines at 44100 frames/s as fast as the graph takes them, in real time. A 44100
// recording of it is resampled twice, to the graph's rate and back, so continuity() rather than
// a comparison of samples tells whether a recording is a run of the fed signal. Nothing of the
// machine is used: no session bus, no sound card, no other server; all files live in the
// server's temporary folder.
class PipeWireServer {
public:
    PipeWireServer();
    ~PipeWireServer();

    // Starts the servers and the feeder, and points PULSE_SERVER of this process at the socket;
    // false (with error()) when any of it fails. Call it from the thread that stops the server:
    // the servers end with that thread.
    bool start();
    // Ends all it started and removes what they made but their logs; start() may follow.
    void stop();
    // Sends pactl's suspend-source for the pipe source; false when pactl fails. PipeWire keeps
    // an idle source suspended, but one being recorded only for a moment: it goes on
    // delivering, and a few frames may be lost or come twice then.
    bool suspendSource(bool suspend);
    // Stops the PipeWire daemon (SIGSTOP), or lets it go on (SIGCONT): its graph stands still,
    // as when the device that drives it stops delivering, and streams get nothing, not even
    // silence. Meanwhile pipewire-pulse answers what it knows, and a request it has to pass on
    // (a new stream, say) waits for the daemon. When the graph goes on, frames may be lost or
    // come twice for a few tenths of a second, as PipeWire catches up.
    void freezeGraph(bool freeze);
    // pactl with these arguments against this server: its standard output, or nothing (with
    // error()) when it fails.
    std::optional<QString> pactl(const QStringList& arguments);
    QString error() const { return m_error; }
    // The servers' messages so far, for a failing test's report.
    QString log() const;
    QString socket() const { return m_dir.filePath("pulse.sock"); }
    // The servers' processes while they run.
    QList<qint64> processIds() const;

    // The graph's one rate; the pipe source's rate is SampleRate (44100).
    static constexpr int GraphRate = 48000;
    // The feeder's signal: channel A a sine of FrequencyA, channel B one of FrequencyB, both of
    // Amplitude and starting at phase 0. Their phases advance 0.356 and 0.428 rad a frame, and
    // come round together only after a whole second.
    static constexpr int FrequencyA = 2500;
    static constexpr int FrequencyB = 3001;
    static constexpr double Amplitude = 16384.0;
    static std::int16_t SampleA(std::uint64_t frame);
    static std::int16_t SampleB(std::uint64_t frame);
    // Whether frames (at least 441) are an unbroken run of the signal, each fed frame once and
    // in order: an empty string when they are, else what is wrong and where. Any gap or repeat
    // of up to 8192 frames is found, unless it lies in the last 441 frames. The run must start
    // in the signal: leave out the frames a stream delivers before the source's first ones.
    static QString continuity(std::span<const veruziva::StereoFrame> frames);

private:
    bool writeFiles();
    bool startProgram(QProcess& process, const QString& program, const QString& logName);
    bool waitFor(const std::function<bool()>& ready, int milliseconds);
    bool running();
    void feed();
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    QProcess m_pipewire;
    QProcess m_wireplumber;
    QProcess m_pulse;
    QList<QProcess*> m_started;
    std::thread m_feeder;
    std::atomic<bool> m_feeding{false};
    QString m_error;
};
