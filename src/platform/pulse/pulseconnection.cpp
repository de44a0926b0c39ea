#include "platform/pulse/pulseconnection.h"

#include <pulse/pulseaudio.h>

namespace veruziva::pulse {
namespace {

constexpr const char* ApplicationName = "Veruziva";
constexpr const char* ApplicationId = "org.zoruzoz.Veruziva";

void SignalMainloop(pa_threaded_mainloop* mainloop) {
    pa_threaded_mainloop_signal(mainloop, 0);
}

SourceInfo ToSourceInfo(const pa_source_info& info) {
    SourceInfo source;
    source.index = info.index;
    source.name = info.name != nullptr ? info.name : "";
    source.description = info.description != nullptr ? info.description : "";
    source.monitor = info.monitor_of_sink != PA_INVALID_INDEX;
    for (std::uint32_t k = 0; k < info.n_ports && info.ports != nullptr; ++k) {
        const pa_source_port_info* port = info.ports[k];
        source.ports.push_back({port->name != nullptr ? port->name : "",
                                port->description != nullptr ? port->description : ""});
    }
    if (info.active_port != nullptr && info.active_port->name != nullptr) {
        source.activePort = info.active_port->name;
    }
    source.volume.assign(info.volume.values, info.volume.values + info.volume.channels);
    source.mute = info.mute != 0;
    return source;
}

// What a listing or a change collects on the mainloop thread for the waiting caller.
struct Reply {
    pa_threaded_mainloop* mainloop = nullptr;
    std::vector<SourceInfo> sources;
    bool ok = true;
};

void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* reply = static_cast<Reply*>(userdata);
    if (eol < 0) {
        reply->ok = false;
    } else if (eol == 0 && info != nullptr) {
        reply->sources.push_back(ToSourceInfo(*info));
    }
    if (eol != 0) {
        SignalMainloop(reply->mainloop);
    }
}

void OnSuccess(pa_context*, int success, void* userdata) {
    auto* reply = static_cast<Reply*>(userdata);
    reply->ok = success != 0;
    SignalMainloop(reply->mainloop);
}

}  // namespace

MainloopLock::MainloopLock(pa_threaded_mainloop* mainloop) : m_mainloop(mainloop) {
    pa_threaded_mainloop_lock(m_mainloop);
}

MainloopLock::~MainloopLock() {
    pa_threaded_mainloop_unlock(m_mainloop);
}

// A timer on the connection's mainloop that wakes its waiter when the time is up.
class AnswerTimer {
public:
    AnswerTimer(pa_context* context, pa_threaded_mainloop* mainloop,
                std::chrono::milliseconds timeout)
        : m_mainloop(mainloop) {
        m_event = pa_context_rttime_new(
            context,
            pa_rtclock_now() +
                static_cast<pa_usec_t>(
                    std::chrono::duration_cast<std::chrono::microseconds>(timeout).count()),
            [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
                auto* timer = static_cast<AnswerTimer*>(self);
                timer->m_expired = true;
                SignalMainloop(timer->m_mainloop);
            },
            this);
    }
    ~AnswerTimer() {
        if (m_event != nullptr) {
            pa_threaded_mainloop_get_api(m_mainloop)->time_free(m_event);
        }
    }
    AnswerTimer(const AnswerTimer&) = delete;
    AnswerTimer& operator=(const AnswerTimer&) = delete;
    // Without a timer (no memory) the wait ends at once rather than never.
    bool expired() const { return m_expired || m_event == nullptr; }

private:
    pa_threaded_mainloop* m_mainloop;
    pa_time_event* m_event = nullptr;
    bool m_expired = false;
};

std::shared_ptr<PulseConnection> PulseConnection::Connect(std::chrono::milliseconds timeout,
                                                          std::string* reason, Failure* failure) {
    if (failure != nullptr) {
        *failure = Failure::Refused;
    }
    const auto fail = [reason](std::string text) {
        if (reason != nullptr) {
            *reason = std::move(text);
        }
        return nullptr;
    };
    std::shared_ptr<PulseConnection> connection(new PulseConnection);
    connection->m_mainloop = pa_threaded_mainloop_new();
    if (connection->m_mainloop == nullptr) {
        return fail("the sound server's client library cannot start");
    }
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, ApplicationName);
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, ApplicationId);
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, ApplicationId);
    connection->m_context = pa_context_new_with_proplist(
        pa_threaded_mainloop_get_api(connection->m_mainloop), ApplicationName, properties);
    pa_proplist_free(properties);
    if (connection->m_context == nullptr) {
        return fail("the sound server's client library cannot start");
    }
    connection->m_answerTime = timeout;
    pa_context_set_state_callback(connection->m_context, OnContextState, connection.get());
    // Never start a server: asking must not leave one running where none was.
    if (pa_context_connect(connection->m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(connection->m_mainloop) < 0) {
        return fail(pa_strerror(pa_context_errno(connection->m_context)));
    }
    MainloopLock lock(connection->m_mainloop);
    pa_context_state_t state = pa_context_get_state(connection->m_context);
    bool timedOut = false;
    {
        const AnswerTimer timer(connection->m_context, connection->m_mainloop, timeout);
        while (PA_CONTEXT_IS_GOOD(state) && state != PA_CONTEXT_READY && !timer.expired()) {
            pa_threaded_mainloop_wait(connection->m_mainloop);
            state = pa_context_get_state(connection->m_context);
        }
        timedOut = timer.expired();
    }
    if (state == PA_CONTEXT_READY) {
        if (failure != nullptr) {
            *failure = Failure::None;
        }
        return connection;
    }
    if (timedOut && PA_CONTEXT_IS_GOOD(state) && failure != nullptr) {
        *failure = Failure::NoAnswer;
    }
    std::string why = timedOut ? "the sound server did not answer in time"
                               : pa_strerror(pa_context_errno(connection->m_context));
    return fail(std::move(why));
}

void PulseConnection::OnContextState(pa_context* context, void* self) {
    auto* connection = static_cast<PulseConnection*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        connection->broke();
    }
    SignalMainloop(connection->m_mainloop);
}

void PulseConnection::broke() {
    if (m_broken) {
        return;
    }
    m_broken = true;
    if (m_onBroken) {
        m_onBroken();
    }
}

void PulseConnection::setOnBroken(std::function<void()> broken) {
    MainloopLock lock(m_mainloop);
    m_onBroken = std::move(broken);
}

PulseConnection::~PulseConnection() {
    if (m_mainloop != nullptr) {
        pa_threaded_mainloop_stop(m_mainloop);
    }
    if (m_context != nullptr) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
    }
    if (m_context != nullptr) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_mainloop != nullptr) {
        pa_threaded_mainloop_free(m_mainloop);
    }
}

bool PulseConnection::ready() {
    MainloopLock lock(m_mainloop);
    return !m_stalled && pa_context_get_state(m_context) == PA_CONTEXT_READY;
}

bool PulseConnection::stalled() {
    MainloopLock lock(m_mainloop);
    return m_stalled;
}

bool PulseConnection::waitUntil(const std::function<bool()>& done) {
    if (done()) {
        return true;
    }
    if (m_stalled) {
        return false;  // asking again would only wait as long again
    }
    // A broken connection signals through the state callback.
    const AnswerTimer timer(m_context, m_mainloop, m_answerTime);
    while (!done() && pa_context_get_state(m_context) == PA_CONTEXT_READY) {
        if (timer.expired()) {
            m_stalled = true;
            broke();
            return false;
        }
        pa_threaded_mainloop_wait(m_mainloop);
    }
    return done();
}

bool PulseConnection::wait(pa_operation* operation) {
    if (operation == nullptr) {
        return false;
    }
    // A broken connection cancels its operations itself.
    waitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
        // Its callback must never reach the caller's reply, which is gone once this returns.
        pa_operation_cancel(operation);
    }
    pa_operation_unref(operation);
    return done;
}

std::optional<std::vector<SourceInfo>> PulseConnection::list(const std::string* name) {
    MainloopLock lock(m_mainloop);
    Reply reply{m_mainloop, {}, true};
    pa_operation* operation =
        name != nullptr
            ? pa_context_get_source_info_by_name(m_context, name->c_str(), OnSourceInfo, &reply)
            : pa_context_get_source_info_list(m_context, OnSourceInfo, &reply);
    if (!wait(operation) || (!reply.ok && name == nullptr)) {
        return std::nullopt;
    }
    return std::move(reply.sources);
}

std::optional<std::vector<SourceInfo>> PulseConnection::sources() {
    return list(nullptr);
}

std::optional<SourceInfo> PulseConnection::source(const std::string& name) {
    std::optional<std::vector<SourceInfo>> found = list(&name);
    if (!found || found->empty()) {
        return std::nullopt;
    }
    return std::move(found->front());
}

int PulseConnection::subscribeSources(SourcesChanged changed) {
    MainloopLock lock(m_mainloop);
    if (!m_subscribed) {
        pa_context_set_subscribe_callback(
            m_context,
            [](pa_context*, pa_subscription_event_type_t type, std::uint32_t, void* self) {
                if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SOURCE) {
                    return;
                }
                for (const auto& [id, callback] :
                     static_cast<PulseConnection*>(self)->m_subscribers) {
                    callback();
                }
            },
            this);
        Reply reply{m_mainloop, {}, true};
        if (!wait(
                pa_context_subscribe(m_context, PA_SUBSCRIPTION_MASK_SOURCE, OnSuccess, &reply)) ||
            !reply.ok) {
            return 0;
        }
        m_subscribed = true;
    }
    const int subscription = m_nextSubscription++;
    m_subscribers.emplace(subscription, std::move(changed));
    return subscription;
}

void PulseConnection::unsubscribe(int subscription) {
    // Callbacks run on the mainloop's thread with the lock held.
    MainloopLock lock(m_mainloop);
    m_subscribers.erase(subscription);
}

bool PulseConnection::apply(const std::string& sourceName, const SourceChange& change) {
    MainloopLock lock(m_mainloop);
    Reply reply{m_mainloop, {}, true};
    const char* name = sourceName.c_str();
    if (change.port && (!wait(pa_context_set_source_port_by_name(
                            m_context, name, change.port->c_str(), OnSuccess, &reply)) ||
                        !reply.ok)) {
        return false;
    }
    if (change.mute && (!wait(pa_context_set_source_mute_by_name(
                            m_context, name, *change.mute ? 1 : 0, OnSuccess, &reply)) ||
                        !reply.ok)) {
        return false;
    }
    if (change.volume) {
        pa_cvolume volume;
        pa_cvolume_init(&volume);
        volume.channels = static_cast<std::uint8_t>(
            std::min<std::size_t>(change.volume->size(), PA_CHANNELS_MAX));
        for (std::uint8_t k = 0; k < volume.channels; ++k) {
            volume.values[k] = (*change.volume)[k];
        }
        if (!wait(pa_context_set_source_volume_by_name(m_context, name, &volume, OnSuccess,
                                                       &reply)) ||
            !reply.ok) {
            return false;
        }
    }
    return true;
}

}  // namespace veruziva::pulse
