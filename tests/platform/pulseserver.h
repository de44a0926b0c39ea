#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <optional>
#include <thread>

#include "platform/captureformat.h"

// A private PulseAudio server for tests: a pipe source "vzpipe" ("Bench line in") fed with a
// paced test signal, a silent source "vzmic" ("Bench microphone") and an output's monitor; the
// pipe source is also reached by ALSA through a "pulse" PCM that an ALSA configuration in the
// server's folder defines. start() after stop() starts the server again on the same socket.
class PulseServer {
public:
    PulseServer();
    ~PulseServer();

    // Starts the server and the feeder; false (with error()) when either fails.
    bool start();
    void stop();
    // Suspends or resumes the pipe source, as a desktop's sound server does when it idles or
    // hands the card to another program; false when pactl fails.
    bool suspendSource(bool suspend);
    // Stops or continues the server process (SIGSTOP, SIGCONT), as a hung server or a suspended
    // machine leaves it: its socket stays, and nothing answers.
    void pause(bool paused);
    // Runs pactl on this server; its output, or nothing when it fails.
    std::optional<QString> pactl(const QStringList& arguments) const;
    QString error() const { return m_error; }
    // The ALSA configuration naming the capture PCM "vzpulse" (description "Veruziva pulse
    // input") with a control device of the same name.
    QString alsaConfig() const { return m_dir.filePath("asound.conf"); }
    QString socket() const { return m_dir.filePath("pulse.sock"); }
    // The feeder's signal: channel A counts frames from -15000 to 14999 and round again,
    // channel B counts the rounds.
    static std::int16_t SampleA(std::uint64_t frame);
    static std::int16_t SampleB(std::uint64_t frame);
    // The inverse: a fed frame's position in the signal.
    static std::uint64_t Position(veruziva::StereoFrame frame);

private:
    void feed();

    QTemporaryDir m_dir;
    QProcess m_server;
    std::thread m_feeder;
    std::atomic<bool> m_feeding{false};
    QString m_error;
};
