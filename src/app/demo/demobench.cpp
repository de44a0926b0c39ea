#include "app/demo/demobench.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
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

}  // namespace

StereoFrame DemoBench::frame(std::uint64_t index) const {
    const double a = static_cast<double>(Noise(index, 1));
    const double b = static_cast<double>(Noise(index, 2));
    switch (m_mode.load()) {
        case Mode::TestSignals: {
            // A 50 Hz sine on a smaller DC offset on A, a steady DC level on B.
            const double t = static_cast<double>(index) / SampleRate;
            const double gain = m_gain.load();
            return {Clamp(gain * (800 + 3000 * std::sin(2 * M_PI * 50 * t)) + a),
                    Clamp(gain * 1200 + b)};
        }
        case Mode::Grounded:
            return {Clamp(ZeroA + a), Clamp(ZeroB + b)};
        case Mode::DcValue: {
            // The board scales its range's full scale to 16000 raw units, channel B a little
            // less sensitive than A.
            const double raw =
                m_gain.load() * m_value.load() / RangeFullScale(m_range.load()) * 16000.0;
            return {Clamp(ZeroA + raw + a), Clamp(ZeroB + 0.995 * raw + b)};
        }
    }
    return {};
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
    signals_->setChecked(true);
    for (QRadioButton* button : {signals_, grounded, dc}) {
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
    layout->addLayout(form);
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
    connect(value, &QDoubleSpinBox::valueChanged, this, [&bench](double v) { bench.setValue(v); });
    connect(range, &QComboBox::currentIndexChanged, this,
            [&bench](int index) { bench.setBoardRange(index + FirstRange); });
}

}  // namespace veruziva::demo
