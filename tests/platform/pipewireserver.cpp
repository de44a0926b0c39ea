#include "pipewireserver.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

using veruziva::StereoFrame;

namespace {

// The daemon: the graph at 48000 only, driven by its timer when no device drives it. No session
// bus, no real-time module (it would ask for one), no devices.
const char* const PipeWireConf = R"(
context.properties = {
    core.daemon = true
    core.name = pipewire-0
    support.dbus = false
    default.clock.rate = 48000
    default.clock.allowed-rates = [ 48000 ]
    log.level = 2
}
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.* = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-spa-node-factory }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-access }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-link-factory }
    { name = libpipewire-module-session-manager }
]
context.objects = [
    { factory = spa-node-factory
        args = { factory.name = support.node.driver node.name = Dummy-Driver
                 node.group = pipewire.dummy priority.driver = 20000 } }
    { factory = spa-node-factory
        args = { factory.name = support.node.driver node.name = Freewheel-Driver
                 node.group = pipewire.freewheel priority.driver = 19000 node.freewheel = true } }
]
)";

// Clients of the daemon (pipewire-pulse, pw-cli and the like).
const char* const ClientConf = R"(
context.properties = {
    support.dbus = false
    log.level = 2
}
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.* = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-metadata }
]
)";

// The PulseAudio service, with the pipe source and a sink that plays nowhere (%1 the socket,
// %2 the pipe).
const char* const PulseConf = R"(
context.properties = {
    support.dbus = false
    log.level = 2
}
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.* = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-protocol-pulse }
]
pulse.properties = {
    server.address = [ "unix:%1" ]
}
pulse.cmd = [
    { cmd = "load-module" args = "module-null-sink sink_name=vznull" }
    { cmd = "load-module"
      args = "module-pipe-source source_name=vzpipe file=%2 format=s16le rate=44100 channels=2 source_properties='device.description=\"Bench line in\"'" }
]
)";

// WirePlumber as far as a desktop needs it for streams: default nodes and the policy that links
// streams to them. No monitors (they would open the machine's devices), no D-Bus, no state kept.
const char* const WirePlumberConf = R"(
context.properties = {
    support.dbus = false
    log.level = 2
    wireplumber.script-engine = lua-scripting
}
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.* = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-metadata }
]
wireplumber.components = [
    { name = libwireplumber-module-lua-scripting, type = module }
    { name = veruziva.lua, type = config/lua }
]
)";

const char* const WirePlumberLua = R"(
policy = { move = true, follow = true }
components = {
  { "libwireplumber-module-metadata", type = "module" },
  { "libwireplumber-module-default-nodes", type = "module",
    args = { ["use-persistent-storage"] = false } },
  { "libwireplumber-module-default-nodes-api", type = "module" },
  { "libwireplumber-module-si-node", type = "module" },
  { "libwireplumber-module-si-audio-adapter", type = "module" },
  { "libwireplumber-module-si-standard-link", type = "module" },
  { "libwireplumber-module-si-audio-endpoint", type = "module" },
  { "access/access-default.lua", type = "script/lua" },
  { "create-item.lua", type = "script/lua", args = policy },
  { "policy-node.lua", type = "script/lua", args = policy },
}
)";

// The phase of a sine of `frequency` at `frame`, exact however long the run.
double Phase(int frequency, std::uint64_t frame) {
    const std::uint64_t cycle = (frame * static_cast<std::uint64_t>(frequency)) % 44100;
    return 2.0 * std::numbers::pi * static_cast<double>(cycle) / 44100.0;
}

std::int16_t Sine(int frequency, std::uint64_t frame) {
    return static_cast<std::int16_t>(
        std::lround(PipeWireServer::Amplitude * std::sin(Phase(frequency, frame))));
}

bool WriteFile(const QString& name, const QString& text) {
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
}

}  // namespace

PipeWireServer::PipeWireServer() = default;

PipeWireServer::~PipeWireServer() {
    stop();
}

std::int16_t PipeWireServer::SampleA(std::uint64_t frame) {
    return Sine(FrequencyA, frame);
}

std::int16_t PipeWireServer::SampleB(std::uint64_t frame) {
    return Sine(FrequencyB, frame);
}

bool PipeWireServer::writeFiles() {
    QDir dir(m_dir.path());
    for (const char* folder : {"run", "home", "state", "pipewire", "wireplumber"}) {
        if (!dir.mkpath(folder)) {
            m_error = QStringLiteral("cannot make %1").arg(path(folder));
            return false;
        }
    }
    // The runtime folder is private, as a session's is.
    QFile::setPermissions(path("run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString pulse = QString::fromUtf8(PulseConf).arg(socket(), path("fifo"));
    for (const auto& [name, text] :
         {std::pair{QStringLiteral("pipewire/pipewire.conf"), QString::fromUtf8(PipeWireConf)},
          std::pair{QStringLiteral("pipewire/client.conf"), QString::fromUtf8(ClientConf)},
          std::pair{QStringLiteral("pipewire/pipewire-pulse.conf"), pulse},
          std::pair{QStringLiteral("wireplumber/wireplumber.conf"),
                    QString::fromUtf8(WirePlumberConf)},
          std::pair{QStringLiteral("wireplumber/veruziva.lua"),
                    QString::fromUtf8(WirePlumberLua)}}) {
        if (!WriteFile(path(name), text)) {
            m_error = QStringLiteral("cannot write %1").arg(path(name));
            return false;
        }
    }
    return true;
}

bool PipeWireServer::startProgram(QProcess& process, const QString& program,
                                  const QString& logName) {
    process.setProcessEnvironment(m_environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(path(logName));
    // A test that dies leaves no server behind, frozen or not.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    // The tree of the build folder (see scripts/lib/pipewire).
    process.start(QStringLiteral(PIPEWIRE), {program});
    if (!process.waitForStarted(5000)) {
        m_error = QStringLiteral("%1 did not start: %2").arg(program, process.errorString());
        return false;
    }
    m_started.append(&process);
    return true;
}

bool PipeWireServer::running() {
    return std::all_of(m_started.begin(), m_started.end(), [](QProcess* process) {
        process->waitForFinished(0);  // notices an end without an event loop
        return process->state() == QProcess::Running;
    });
}

QList<qint64> PipeWireServer::processIds() const {
    QList<qint64> ids;
    for (const QProcess* process : m_started) {
        ids.append(process->processId());
    }
    return ids;
}

bool PipeWireServer::waitFor(const std::function<bool()>& ready, int milliseconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!ready()) {
        if (!running() || Clock::now() > deadline) {
            return false;
        }
        QThread::msleep(10);
    }
    return true;
}

bool PipeWireServer::start() {
    m_error.clear();
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    stop();
    if (!writeFiles()) {
        return false;
    }
    m_environment = QProcessEnvironment::systemEnvironment();
    const auto set = [this](const char* name, const QString& value) {
        m_environment.insert(QString::fromLatin1(name), value);
    };
    set("HOME", path("home"));
    set("XDG_CONFIG_HOME", path("home/.config"));
    set("XDG_STATE_HOME", path("state"));
    set("PIPEWIRE_STATE_DIR", path("state"));
    set("XDG_RUNTIME_DIR", path("run"));
    set("PIPEWIRE_RUNTIME_DIR", path("run"));
    set("PULSE_RUNTIME_PATH", path("run/pulse"));
    set("PIPEWIRE_CONFIG_DIR", path("pipewire"));
    set("WIREPLUMBER_CONFIG_DIR", path("wireplumber"));
    // Never the machine's buses: an address that leads nowhere, so none is started either.
    set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path("run/no-bus"));
    set("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + path("run/no-bus"));
    for (const char* name :
         {"PULSE_SERVER", "PIPEWIRE_REMOTE", "PIPEWIRE_CORE", "PIPEWIRE_LOG", "PIPEWIRE_PROPS",
          "WIREPLUMBER_DATA_DIR", "DISPLAY", "WAYLAND_DISPLAY"}) {
        m_environment.remove(QString::fromLatin1(name));
    }

    const auto fail = [this](const QString& what) {
        m_error = what + QStringLiteral("\n") + log();
        stop();
        return false;
    };
    if (!startProgram(m_pipewire, QStringLiteral("pipewire"), QStringLiteral("pipewire.log"))) {
        return fail(m_error);
    }
    if (!waitFor([this] { return QFile::exists(path("run/pipewire-0")); }, 5000)) {
        return fail(QStringLiteral("pipewire is not serving"));
    }
    if (!startProgram(m_wireplumber, QStringLiteral("wireplumber"),
                      QStringLiteral("wireplumber.log")) ||
        !startProgram(m_pulse, QStringLiteral("pipewire-pulse"),
                      QStringLiteral("pipewire-pulse.log"))) {
        return fail(m_error);
    }
    if (!waitFor([this] { return QFile::exists(socket()) && QFile::exists(path("fifo")); }, 5000)) {
        return fail(QStringLiteral("pipewire-pulse is not serving"));
    }
    // WirePlumber is at work when the configured default source becomes the default.
    const bool ready = waitFor(
        [this] {
            const auto info =
                pactl({"set-default-source", "vzpipe"}) ? pactl({"info"}) : std::nullopt;
            return info && info->contains(QStringLiteral("Default Source: vzpipe"));
        },
        5000);
    if (!ready) {
        return fail(
            QStringLiteral("the pipe source did not become the default source: %1").arg(m_error));
    }
    m_error.clear();
    qputenv("PULSE_SERVER", ("unix:" + socket()).toLocal8Bit());
    m_feeding = true;
    m_feeder = std::thread([this] { feed(); });
    return true;
}

void PipeWireServer::feed() {
    // A write to a pipe whose reader has gone fails instead of signalling.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    const int fd = ::open(path("fifo").toLocal8Bit().constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    // The source reads what it needs each cycle of the graph, and a cycle it cannot fill it
    // fills with silence: the pipe is kept full, its reader sets the pace, and the 371 ms it
    // holds let the feeder wait that long for the processor.
    ::fcntl(fd, F_SETPIPE_SZ, 65536);
    std::vector<std::int16_t> chunk;
    for (std::uint64_t written = 0; m_feeding; written += 441) {
        chunk.clear();
        for (std::uint64_t frame = written; frame < written + 441; ++frame) {
            chunk.push_back(SampleA(frame));
            chunk.push_back(SampleB(frame));
        }
        const auto bytes = static_cast<ssize_t>(chunk.size() * sizeof(std::int16_t));
        if (::write(fd, chunk.data(), static_cast<std::size_t>(bytes)) != bytes) {
            break;
        }
    }
    ::close(fd);
}

void PipeWireServer::freezeGraph(bool freeze) {
    if (m_pipewire.state() == QProcess::Running) {
        ::kill(static_cast<pid_t>(m_pipewire.processId()), freeze ? SIGSTOP : SIGCONT);
    }
}

std::optional<QString> PipeWireServer::pactl(const QStringList& arguments) {
    QProcess pactl;
    QProcessEnvironment environment = m_environment;
    environment.insert(QStringLiteral("PULSE_SERVER"), "unix:" + socket());
    pactl.setProcessEnvironment(environment);
    pactl.start(QStringLiteral("pactl"), arguments);
    if (!pactl.waitForFinished(5000) || pactl.exitStatus() != QProcess::NormalExit ||
        pactl.exitCode() != 0) {
        m_error = QStringLiteral("pactl %1 failed: %2%3")
                      .arg(arguments.join(' '), pactl.errorString(),
                           QString::fromLocal8Bit(pactl.readAllStandardError()));
        if (pactl.state() != QProcess::NotRunning) {
            pactl.kill();
            pactl.waitForFinished(3000);
        }
        return std::nullopt;
    }
    return QString::fromLocal8Bit(pactl.readAllStandardOutput());
}

bool PipeWireServer::suspendSource(bool suspend) {
    return pactl({"suspend-source", "vzpipe", suspend ? "1" : "0"}).has_value();
}

QString PipeWireServer::log() const {
    QString text;
    for (const char* name : {"pipewire.log", "wireplumber.log", "pipewire-pulse.log"}) {
        QFile file(path(name));
        if (file.open(QIODevice::ReadOnly)) {
            text += QStringLiteral("--- %1\n%2").arg(name, QString::fromLocal8Bit(file.readAll()));
        }
    }
    return text;
}

void PipeWireServer::stop() {
    m_feeding = false;
    // pipewire-pulse first: the feeder may wait in a write to its pipe until its end is gone.
    for (QProcess* process : {&m_pulse, &m_wireplumber, &m_pipewire}) {
        if (process->state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(process->processId()), SIGCONT);
            ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
            if (!process->waitForFinished(3000)) {
                process->kill();
                process->waitForFinished(3000);
            }
        }
    }
    m_started.clear();
    if (m_feeder.joinable()) {
        m_feeder.join();
    }
    // What the servers made goes with them; the logs stay for log() until the next start.
    if (m_dir.isValid()) {
        QDir dir(m_dir.path());
        for (const QString& name :
             dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
            if (!name.endsWith(QStringLiteral(".log"))) {
                QFileInfo(dir.filePath(name)).isDir() ? QDir(dir.filePath(name)).removeRecursively()
                                                      : dir.remove(name);
            }
        }
    }
}

QString PipeWireServer::continuity(std::span<const StereoFrame> frames) {
    constexpr std::size_t Window = 441;  // 10 ms
    if (frames.size() < Window) {
        return QStringLiteral("%1 frames, fewer than %2").arg(frames.size()).arg(Window);
    }
    struct Channel {
        char name;
        int frequency;
        std::int16_t StereoFrame::*sample;
    };
    for (const Channel& channel :
         {Channel{'A', FrequencyA, &StereoFrame::a}, Channel{'B', FrequencyB, &StereoFrame::b}}) {
        std::optional<double> reference;
        for (std::size_t start = 0; start < frames.size(); start += Window) {
            const std::size_t first = std::min(start, frames.size() - Window);
            // Least squares: x = c cos + s sin at the signal's frequency, phase counted from the
            // run's first frame. An unbroken run keeps one phase throughout.
            double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0, xx = 0;
            for (std::size_t n = first; n < first + Window; ++n) {
                const double phase = Phase(channel.frequency, n);
                const double c = std::cos(phase);
                const double s = std::sin(phase);
                const double x = frames[n].*channel.sample;
                cc += c * c;
                ss += s * s;
                cs += c * s;
                xc += x * c;
                xs += x * s;
                xx += x * x;
            }
            const double determinant = cc * ss - cs * cs;
            const double cosine = (xc * ss - xs * cs) / determinant;
            const double sine = (xs * cc - xc * cs) / determinant;
            const double residual = std::sqrt(std::max(0.0, xx - cosine * xc - sine * xs) /
                                              static_cast<double>(Window));
            const double amplitude = std::hypot(cosine, sine);
            const double phase = std::atan2(cosine, sine);
            const QString where = QStringLiteral("channel %1, frames %2-%3")
                                      .arg(channel.name)
                                      .arg(first)
                                      .arg(first + Window - 1);
            if (std::abs(amplitude - Amplitude) > 0.1 * Amplitude) {
                return QStringLiteral("%1: not the signal (amplitude %2 instead of %3)")
                    .arg(where)
                    .arg(amplitude, 0, 'f', 0)
                    .arg(Amplitude, 0, 'f', 0);
            }
            if (residual > 0.01 * Amplitude) {
                return QStringLiteral("%1: the signal breaks (off by %2 rms)")
                    .arg(where)
                    .arg(residual, 0, 'f', 0);
            }
            if (!reference) {
                reference = phase;
                continue;
            }
            // A frame lost or repeated shifts the phase by 0.356 (A) or 0.428 (B) rad.
            const double shift = std::remainder(phase - *reference, 2.0 * std::numbers::pi);
            if (std::abs(shift) > 0.02) {
                const double step = 2.0 * std::numbers::pi * channel.frequency / 44100.0;
                return QStringLiteral(
                           "%1: the signal is %2 rad (%3 frames, modulo %4) off its "
                           "phase at frame 0")
                    .arg(where)
                    .arg(shift, 0, 'f', 3)
                    .arg(shift / step, 0, 'f', 2)
                    .arg(44100.0 / channel.frequency, 0, 'f', 2);
            }
        }
    }
    return {};
}
