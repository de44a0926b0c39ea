#include "app/demo/demobench.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "calibration/calibrationstate.h"

namespace veruziva::demo {
namespace {

// A little noise, the same for the same frame.
int Noise(std::uint64_t index, unsigned salt) {
    std::uint64_t x = (index + salt) * 0x9E3779B97F4A7C15ULL;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 32;
    return static_cast<int>(x % 13) - 6;
}

std::int16_t Clamp(double value) {
    return static_cast<std::int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
}

// The card's input with AC coupling: its capacitor and the input's resistance make a
// first-order high-pass, RC = 1/(2 pi corner). A sine of angular frequency w comes out in its
// steady state, scaled by wRC/sqrt(1+(wRC)^2) and leading by atan(1/(wRC)); sines switched on
// are not followed through their transient. A change of the source's DC at frame k comes through
// as a step decaying as exp(-(i-k)/(RC rate)); what is left of the earlier steps at k adds to the
// new one. So a frame stays a function of its index and of the settings.
constexpr double CouplingRc = 1.0 / (2 * M_PI * DemoBench::CouplingCornerHz);

double StepLeft(std::uint64_t index, std::uint64_t at) {
    if (index <= at) {
        return 1.0;
    }
    return std::exp(-static_cast<double>(index - at) / (CouplingRc * SampleRate));
}

// Pulses from 0 to 1, high for `duty` of each period, through a first-order low-pass of time
// constant `tau` frames, in their steady state: each edge starts from where the last one left.
double FilteredPulse(std::uint64_t index, double hertz, double duty, double tau) {
    const double period = SampleRate / hertz;
    const double high = duty * period;
    const double t = std::fmod(static_cast<double>(index), period);
    const double e1 = std::exp(-high / tau);
    const double e2 = std::exp(-(period - high) / tau);
    const double start = e2 * (1 - e1) / (1 - e1 * e2);  // at the rising edge
    const double top = 1 - (1 - start) * e1;             // at the falling edge
    return t < high ? 1 - (1 - start) * std::exp(-t / tau) : top * std::exp(-(t - high) / tau);
}

}  // namespace

DemoBench::Source DemoBench::source() const {
    const Mode mode = m_mode.load();
    switch (mode) {
        case Mode::TestSignals:
            // A 50 Hz sine on a smaller DC offset on A, a steady DC level on B.
            return {{0, 0}, {800, 1200}, {3000, 0}, 50.0};
        case Mode::Grounded:
            return {{ZeroA, ZeroB}, {0, 0}, {0, 0}, 0.0};
        case Mode::DcValue:
        case Mode::Sine:
        case Mode::Pulses: {
            // The board scales its range's full scale to 16000 raw units, channel B a little
            // less sensitive than A.
            const double scale = 16000.0 / RangeFullScale(m_range.load());
            const bool sine = mode == Mode::Sine || mode == Mode::Pulses;
            const double dc = (sine ? m_offset.load() : m_value.load()) * scale;
            // A sine's value is its RMS; the pulses' their height.
            const double peak = mode == Mode::Sine     ? m_value.load() * std::sqrt(2.0) * scale
                                : mode == Mode::Pulses ? m_value.load() * scale
                                                       : 0.0;
            return {{ZeroA, ZeroB}, {dc, 0.995 * dc}, {peak, 0.995 * peak}, m_frequency.load()};
        }
    }
    return {};
}

StereoFrame DemoBench::frame(std::uint64_t index) const {
    std::uint64_t newest = m_newest.load();
    while (index > newest && !m_newest.compare_exchange_weak(newest, index)) {
    }
    Source in = source();
    double phase = 2 * M_PI * in.hertz * static_cast<double>(index) / SampleRate;
    if (m_acCoupled.load()) {
        const std::uint64_t at = m_stepAt.load();
        const double left = StepLeft(index, at);
        in.dc = {m_stepA.load() * left, m_stepB.load() * left};
        const double wrc = 2 * M_PI * in.hertz * CouplingRc;
        const double pass = wrc / std::sqrt(1 + wrc * wrc);
        in.peak = {in.peak.a * pass, in.peak.b * pass};
        phase += std::atan2(1.0, wrc);
    }
    const double gain = m_gain.load();
    double wave = std::sin(phase);
    if (m_mode.load() == Mode::Pulses) {
        // From the offset up by the value; coupled, about their mean (the droop of the
        // coupling's 3 Hz corner is left out).
        const double duty = m_duty.load();
        wave = FilteredPulse(index, in.hertz, duty, PulseEdgeFrames) -
               (m_acCoupled.load() ? duty : 0.0);
        in.peak = source().peak;
    }
    return {Clamp(in.zero.a + gain * (in.dc.a + in.peak.a * wave) + Noise(index, 1)),
            Clamp(in.zero.b + gain * (in.dc.b + in.peak.b * wave) + Noise(index, 2))};
}

void DemoBench::setMode(Mode mode) {
    changeSource([&] { m_mode = mode; });
}

void DemoBench::setValue(double value) {
    changeSource([&] { m_value = value; });
}

void DemoBench::setBoardRange(int range) {
    changeSource([&] { m_range = range; });
}

void DemoBench::setOffset(double offset) {
    changeSource([&] { m_offset = offset; });
}

void DemoBench::setFrequency(double hertz) {
    m_frequency = std::clamp(hertz, MinFrequency, MaxFrequency);
}

void DemoBench::setAcCoupled(bool on) {
    if (on && !m_acCoupled.load()) {
        // Switched in, the capacitor starts empty: the whole DC comes through at first.
        const std::uint64_t now = m_newest.load();
        const Levels dc = source().dc;
        m_stepA = dc.a;
        m_stepB = dc.b;
        m_stepAt = now;
    }
    m_acCoupled = on;
}

void DemoBench::dcChanged(Levels before) {
    const std::uint64_t now = m_newest.load();
    const Levels after = source().dc;
    const double left = StepLeft(now, m_stepAt.load());
    m_stepA = after.a - before.a + m_stepA.load() * left;
    m_stepB = after.b - before.b + m_stepB.load() * left;
    m_stepAt = now;
}

DemoCard::DemoCard(sim::SimWaveInput::Delivery delivery) {
    waveInput.addDevice(Name, [this](std::uint64_t index) { return bench.frame(index); });
    waveInput.setDelivery(delivery);
    const unsigned device = mixers.addDevice(Name);
    m_device = device;
    mixers.addDestination(device, "Volume Control");
    mixers.addSource(device, 0, "Wave");
    mixers.addVolume(device, 0, 0, 40000);
    mixers.addDestination(device, "Recording Control");
    for (const char* line : {"Microphone", "Line In"}) {
        const unsigned source = mixers.addSource(device, 1, line);
        m_lineInVolume = mixers.addVolume(device, 1, static_cast<int>(source), 20000);
        m_lineInMute = mixers.addMute(device, 1, static_cast<int>(source), 1);
    }

    // An open input hums a little: a few units of noise around zero.
    waveInput.addDevice(IdleName, [](std::uint64_t index) {
        const std::uint64_t hash = (index * 6364136223846793005ULL + 1442695040888963407ULL) >> 33;
        return StereoFrame{static_cast<std::int16_t>(static_cast<int>(hash % 7) - 3),
                           static_cast<std::int16_t>(static_cast<int>((hash >> 8) % 7) - 3)};
    });
    const unsigned idle = mixers.addDevice(IdleName);
    mixers.addDestination(idle, "Volume Control");
    mixers.addDestination(idle, "Recording Control");
    const unsigned line = mixers.addSource(idle, 1, "Line In");
    mixers.addVolume(idle, 1, static_cast<int>(line), 20000);
    mixers.addMute(idle, 1, static_cast<int>(line), 1);

    mixers.onValuesChanged = [this](unsigned changed, std::uint32_t controlId) {
        if (changed == m_device && (controlId == m_lineInVolume || controlId == m_lineInMute)) {
            followLineIn();
            if (onLineInChanged) {
                onLineInChanged();
            }
        }
    };
    followLineIn();
}

void DemoCard::followLineIn() {
    const bool muted = mixers.values(m_device, m_lineInMute).front() != 0;
    bench.setLineInGain(muted ? 0.0 : static_cast<double>(lineInLevel()) / 65535.0);
}

std::int32_t DemoCard::lineInLevel() const {
    return mixers.values(m_device, m_lineInVolume).front();
}

void DemoCard::setLineInLevelFromOutside(std::int32_t level) {
    mixers.setFromOutside(m_device, m_lineInVolume, {level, level});
}

DemoBenchWindow::DemoBenchWindow(DemoCard& card, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint) {
    DemoBench& bench = card.bench;
    setObjectName(QStringLiteral("DemoBench"));
    setWindowTitle(QStringLiteral("Demo bench"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Both inputs see:"), this));
    auto* group = new QButtonGroup(this);
    auto* signals_ = new QRadioButton(QStringLiteral("Test signals"), this);
    auto* grounded = new QRadioButton(QStringLiteral("Grounded"), this);
    auto* dc = new QRadioButton(QStringLiteral("DC value, through the board"), this);
    auto* sine = new QRadioButton(QStringLiteral("Sine of this RMS, through the board"), this);
    sine->setObjectName(QStringLiteral("DemoSine"));
    auto* pulses =
        new QRadioButton(QStringLiteral("Pulses of this height, through the board"), this);
    pulses->setObjectName(QStringLiteral("DemoPulses"));
    signals_->setChecked(true);
    for (QRadioButton* button : {signals_, grounded, dc, sine, pulses}) {
        group->addButton(button);
        layout->addWidget(button);
    }
    auto* form = new QFormLayout;
    auto* value = new QDoubleSpinBox(this);
    value->setObjectName(QStringLiteral("DemoValue"));
    value->setRange(0.0, 40.0);
    value->setDecimals(3);
    value->setValue(1.5);
    auto* range = new QComboBox(this);
    range->setObjectName(QStringLiteral("DemoRange"));
    range->addItems({QStringLiteral("0.3 V"), QStringLiteral("3 V"), QStringLiteral("30 V"),
                     QStringLiteral("3 A")});
    range->setCurrentIndex(1);
    form->addRow(QStringLiteral("Value (V or A):"), value);
    form->addRow(QStringLiteral("Board range:"), range);
    auto* frequency = new QSpinBox(this);
    frequency->setObjectName(QStringLiteral("DemoFrequency"));
    frequency->setRange(static_cast<int>(DemoBench::MinFrequency),
                        static_cast<int>(DemoBench::MaxFrequency));
    frequency->setValue(50);  // the mains transformer at hand
    auto* offset = new QDoubleSpinBox(this);
    offset->setObjectName(QStringLiteral("DemoOffset"));
    offset->setRange(-40.0, 40.0);
    offset->setDecimals(3);
    form->addRow(QStringLiteral("Frequency (Hz):"), frequency);
    form->addRow(QStringLiteral("DC offset of the source:"), offset);
    auto* duty = new QSpinBox(this);
    duty->setObjectName(QStringLiteral("DemoDuty"));
    duty->setRange(1, 99);
    duty->setValue(50);
    duty->setSuffix(QStringLiteral(" %"));
    form->addRow(QStringLiteral("Pulses' duty:"), duty);
    layout->addLayout(form);
    auto* coupled = new QCheckBox(QStringLiteral("AC-coupled input"), this);
    coupled->setObjectName(QStringLiteral("DemoAcCoupled"));
    layout->addWidget(coupled);
    // As the desktop's sound settings would move it: a calibrated window then marks its readings.
    auto* level = new QSlider(Qt::Horizontal, this);
    level->setObjectName(QStringLiteral("DemoLineInLevel"));
    level->setRange(0, 100);
    level->setValue(static_cast<int>(std::lround(card.lineInLevel() * 100.0 / 65535.0)));
    layout->addWidget(new QLabel(QStringLiteral("Line In level, set from outside:"), this));
    layout->addWidget(level);
    connect(level, &QSlider::valueChanged, this, [&card](int percent) {
        card.setLineInLevelFromOutside(static_cast<std::int32_t>(std::lround(percent * 655.35)));
    });
    card.onLineInChanged = [&card, level = QPointer<QSlider>(level)] {
        if (level == nullptr) {
            return;
        }
        const QSignalBlocker quiet(level);
        level->setValue(static_cast<int>(std::lround(card.lineInLevel() * 100.0 / 65535.0)));
    };

    connect(signals_, &QRadioButton::toggled, this, [&bench](bool on) {
        if (on) {
            bench.setMode(DemoBench::Mode::TestSignals);
        }
    });
    connect(grounded, &QRadioButton::toggled, this, [&bench](bool on) {
        if (on) {
            bench.setMode(DemoBench::Mode::Grounded);
        }
    });
    connect(dc, &QRadioButton::toggled, this, [&bench](bool on) {
        if (on) {
            bench.setMode(DemoBench::Mode::DcValue);
        }
    });
    connect(sine, &QRadioButton::toggled, this, [&bench](bool on) {
        if (on) {
            bench.setMode(DemoBench::Mode::Sine);
        }
    });
    connect(pulses, &QRadioButton::toggled, this, [&bench](bool on) {
        if (on) {
            bench.setMode(DemoBench::Mode::Pulses);
        }
    });
    connect(duty, &QSpinBox::valueChanged, this,
            [&bench](int percent) { bench.setDuty(percent / 100.0); });
    connect(value, &QDoubleSpinBox::valueChanged, this, [&bench](double v) { bench.setValue(v); });
    connect(frequency, &QSpinBox::valueChanged, this,
            [&bench](int hertz) { bench.setFrequency(hertz); });
    connect(offset, &QDoubleSpinBox::valueChanged, this,
            [&bench](double v) { bench.setOffset(v); });
    connect(coupled, &QCheckBox::toggled, this, [&bench](bool on) { bench.setAcCoupled(on); });
    connect(range, &QComboBox::currentIndexChanged, this,
            [&bench](int index) { bench.setBoardRange(index + FirstRange); });
}

}  // namespace veruziva::demo
