#include "platform/mixerchanges.h"

#include <QCoreApplication>
#include <QThread>

namespace veruziva {
namespace {

void ReadLine(MixerService& service, MixerHandle handle, const MixerLine& line,
              ControlValues& values) {
    std::vector<MixerControlInfo> controls;
    if (service.lineControls(handle, line.lineId, controls) != mixer::NoError) {
        return;
    }
    for (const MixerControlInfo& control : controls) {
        const std::uint32_t channels =
            (control.flags & mixer::UniformFlag) != 0 ? 1 : line.channels;
        const std::uint32_t items = (control.flags & mixer::MultipleFlag) != 0 ? control.items : 0;
        std::vector<std::int32_t> read;
        if (service.controlValues(handle, control.controlId, channels, items, read) ==
            mixer::NoError) {
            values[control.controlId] = std::move(read);
        }
    }
}

}  // namespace

ControlValues ReadControlValues(MixerService& service, MixerHandle handle) {
    ControlValues values;
    MixerLine destination;
    for (std::uint32_t d = 0; service.lineByDestination(handle, d, destination) == mixer::NoError;
         ++d) {
        ReadLine(service, handle, destination, values);
        MixerLine source;
        for (std::uint32_t s = 0; s < destination.connections; ++s) {
            if (service.lineBySource(handle, d, s, source) == mixer::NoError) {
                ReadLine(service, handle, source, values);
            }
        }
    }
    return values;
}

std::vector<std::uint32_t> ControlValueTracker::update(ControlValues now) {
    std::vector<std::uint32_t> changed;
    auto before = m_values.begin();
    auto after = now.begin();
    while (before != m_values.end() || after != now.end()) {
        if (after == now.end() || (before != m_values.end() && before->first < after->first)) {
            changed.push_back((before++)->first);
        } else if (before == m_values.end() || after->first < before->first) {
            changed.push_back((after++)->first);
        } else {
            if (before->second != after->second) {
                changed.push_back(after->first);
            }
            ++before;
            ++after;
        }
    }
    m_values = std::move(now);
    return changed;
}

MixerChangeWatch::MixerChangeWatch(std::function<void()> pump) : m_pump(std::move(pump)) {}

bool MixerChangeWatch::Possible() {
    const QCoreApplication* application = QCoreApplication::instance();
    return application != nullptr && application->thread() == QThread::currentThread();
}

void MixerChangeWatch::watchDescriptor(int fd) {
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] { run(); });
    m_notifiers.push_back(notifier);
}

void MixerChangeWatch::wake() {
    if (m_woken.exchange(true)) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_woken = false;
            run();
        },
        Qt::QueuedConnection);
}

void MixerChangeWatch::run() {
    // A copy: the pump may close the mixer, and this watch with it.
    if (const std::function<void()> pump = m_pump) {
        ++m_running;
        pump();
        --m_running;
    }
}

void MixerChangeWatch::close() {
    m_pump = nullptr;
    for (QSocketNotifier* notifier : m_notifiers) {
        notifier->setEnabled(false);
    }
    // Closed from inside its own pump, it goes once that has returned.
    if (m_running > 0) {
        deleteLater();
    } else {
        delete this;
    }
}

}  // namespace veruziva
