#include "base/endsignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>

namespace veruziva {
namespace {

constexpr std::array<int, 3> EndingSignals{SIGTERM, SIGHUP, SIGINT};
int SignalPipe[2] = {-1, -1};
struct sigaction Previous[EndingSignals.size()];
struct sigaction PreviousPipe;

extern "C" void OnEndingSignal(int /*signal*/) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(SignalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

EndSignals::EndSignals(std::function<void()> onSignal) : m_onSignal(std::move(onSignal)) {
    if (::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;  // the default handling stays: better than none at all
    }
    m_notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { received(); });
    struct sigaction action {};
    action.sa_handler = OnEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < EndingSignals.size(); ++i) {
        sigaction(EndingSignals[i], &action, &Previous[i]);
    }
    // Standard output or error into a pipe whose reader has gone: the write fails, and the
    // program goes on; the signal would end it with a recording's header untrue.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &PreviousPipe);
}

EndSignals::~EndSignals() {
    if (m_notifier == nullptr) {
        return;
    }
    for (std::size_t i = 0; i < EndingSignals.size(); ++i) {
        sigaction(EndingSignals[i], &Previous[i], nullptr);
    }
    sigaction(SIGPIPE, &PreviousPipe, nullptr);
    delete m_notifier;
    ::close(SignalPipe[0]);
    ::close(SignalPipe[1]);
    SignalPipe[0] = SignalPipe[1] = -1;
}

void EndSignals::received() {
    char bytes[16];
    while (::read(SignalPipe[0], bytes, sizeof(bytes)) > 0) {
    }
    if (m_onSignal) {
        m_onSignal();
    }
}

}  // namespace veruziva
