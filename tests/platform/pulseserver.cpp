#include "pulseserver.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QFile>
#include <QThread>
#include <chrono>
#include <vector>

PulseServer::PulseServer() {
    ::signal(SIGPIPE, SIG_IGN);  // the feeder must not die with the server
}

PulseServer::~PulseServer() {
    stop();
}

std::int16_t PulseServer::SampleA(std::uint64_t frame) {
    return static_cast<std::int16_t>(static_cast<int>(frame % 30000) - 15000);
}

std::uint64_t PulseServer::Position(veruziva::StereoFrame frame) {
    return static_cast<std::uint64_t>(frame.b) * 30000 +
           static_cast<std::uint64_t>(frame.a + 15000);
}

std::int16_t PulseServer::SampleB(std::uint64_t frame) {
    return static_cast<std::int16_t>((frame / 30000) % 30000);
}

bool PulseServer::start() {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString script = QStringLiteral(
                               "load-module module-native-protocol-unix socket=%1 "
                               "auth-anonymous=1\n"
                               "load-module module-null-source source_name=vzmic "
                               "description='Bench microphone'\n"
                               "load-module module-pipe-source source_name=vzpipe file=%2 "
                               "format=s16le rate=44100 channels=2 "
                               "source_properties='device.description=\"Bench line in\"'\n"
                               "load-module module-null-sink sink_name=vznull\n"
                               "set-default-source vzpipe\n")
                               .arg(socket(), m_dir.filePath("fifo"));
    const QString alsa = QStringLiteral(
        "pcm.vzpulse {\n    type pulse\n    device vzpipe\n"
        "    hint { show on description \"Veruziva pulse input\" }\n}\n"
        "ctl.vzpulse { type pulse }\n");
    for (const auto& [name, text] : {std::pair{QStringLiteral("script.pa"), script},
                                     std::pair{QStringLiteral("asound.conf"), alsa}}) {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0) {
            m_error = QStringLiteral("cannot write %1").arg(file.fileName());
            return false;
        }
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QDir(m_dir.path()).mkpath("home");
    QDir(m_dir.path()).mkpath("run");
    environment.insert("HOME", m_dir.filePath("home"));
    environment.insert("XDG_RUNTIME_DIR", m_dir.filePath("run"));
    environment.remove("PULSE_SERVER");
    m_server.setProcessEnvironment(environment);
    // A test that crashes or times out takes its server with it.
    m_server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    // A start after a stop waits for this run's socket and pipe, not the last run's.
    QFile::remove(socket());
    QFile::remove(m_dir.filePath("fifo"));
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.setStandardOutputFile(m_dir.filePath("server.log"));
    // The private daemon of the build folder (see scripts/lib/pulseaudio).
    m_server.start(
        QStringLiteral(PULSEAUDIO),
        {"-n", "-F", m_dir.filePath("script.pa"), "--daemonize=no", "--exit-idle-time=-1",
         "--disable-shm=yes", "--use-pid-file=no", "--system=no", "--log-target=stderr"});
    if (!m_server.waitForStarted(5000)) {
        m_error = QStringLiteral("pulseaudio did not start: %1").arg(m_server.errorString());
        return false;
    }
    // The server is ready when its socket and the source's pipe exist.
    for (int i = 0; i < 100 && !(QFile::exists(socket()) && QFile::exists(m_dir.filePath("fifo")));
         ++i) {
        QThread::msleep(50);
    }
    if (!QFile::exists(socket()) || m_server.state() != QProcess::Running) {
        QFile log(m_dir.filePath("server.log"));
        log.open(QIODevice::ReadOnly);
        m_error = QStringLiteral("pulseaudio is not serving: %1")
                      .arg(QString::fromLocal8Bit(log.readAll()));
        return false;
    }
    qputenv("PULSE_SERVER", ("unix:" + socket()).toLocal8Bit());
    m_feeding = true;
    m_feeder = std::thread([this] { feed(); });
    return true;
}

void PulseServer::feed() {
    // Blocked here as well as ignored: a write to the pipe of a server that has gone fails
    // instead of signalling, whatever a child started meanwhile does to the disposition.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    const int fd = ::open(m_dir.filePath("fifo").toLocal8Bit().constData(), O_WRONLY);
    if (fd < 0) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    std::uint64_t written = 0;
    std::vector<std::int16_t> chunk;
    while (m_feeding) {
        // Keep 50 ms ahead of real time, in steps of 10 ms.
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const auto due = static_cast<std::uint64_t>(elapsed * 44100) + 2205;
        chunk.clear();
        for (std::uint64_t frame = written; frame < due; ++frame) {
            chunk.push_back(SampleA(frame));
            chunk.push_back(SampleB(frame));
        }
        const auto bytes = static_cast<ssize_t>(chunk.size() * sizeof(std::int16_t));
        if (::write(fd, chunk.data(), static_cast<std::size_t>(bytes)) != bytes) {
            break;
        }
        written = due;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(fd);
}

void PulseServer::pause(bool paused) {
    if (m_server.state() != QProcess::NotRunning) {
        ::kill(static_cast<pid_t>(m_server.processId()), paused ? SIGSTOP : SIGCONT);
    }
}

bool PulseServer::suspendSource(bool suspend) {
    return pactl({"suspend-source", "vzpipe", suspend ? "1" : "0"}).has_value();
}

std::optional<QString> PulseServer::pactl(const QStringList& arguments) const {
    QProcess pactl;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PULSE_SERVER", "unix:" + socket());
    environment.insert("LC_ALL", "C");
    pactl.setProcessEnvironment(environment);
    pactl.start(QStringLiteral("pactl"), arguments);
    if (!pactl.waitForFinished(5000) || pactl.exitStatus() != QProcess::NormalExit ||
        pactl.exitCode() != 0) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(pactl.readAllStandardOutput());
}

void PulseServer::stop() {
    m_feeding = false;
    // The server goes first: a suspended source reads nothing, and the feeder may wait in a
    // write to its pipe until the server's end breaks it.
    if (m_server.state() != QProcess::NotRunning) {
        pause(false);
        ::kill(static_cast<pid_t>(m_server.processId()), SIGTERM);
        if (!m_server.waitForFinished(3000)) {
            m_server.kill();
            m_server.waitForFinished(3000);
        }
    }
    if (m_feeder.joinable()) {
        m_feeder.join();
    }
}
