#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

// A private PulseAudio server for tests: a pipe source fed with a paced test signal, reached by
// ALSA through a "pulse" PCM that an ALSA configuration in the server's folder defines.
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
    QString error() const { return m_error; }
    // The ALSA configuration naming the capture PCM "vzpulse" (description "Veruziva pulse
    // input") with a control device of the same name.
    QString alsaConfig() const { return m_dir.filePath("asound.conf"); }
    QString socket() const { return m_dir.filePath("pulse.sock"); }
    // The feeder's signal: channel A counts frames from -15000 to 14999 and round again,
    // channel B counts the rounds.
    static std::int16_t SampleA(std::uint64_t frame);
    static std::int16_t SampleB(std::uint64_t frame);

private:
    void feed();

    QTemporaryDir m_dir;
    QProcess m_server;
    std::thread m_feeder;
    std::atomic<bool> m_feeding{false};
    QString m_error;
};
