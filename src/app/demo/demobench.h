#pragma once

#include <QWidget>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/captureformat.h"
#include "platform/sim/simmixerservice.h"
#include "platform/sim/simwaveinput.h"

namespace veruziva::demo {

// What the demo's inputs see, as on a bench: the generator's test signals, both inputs
// grounded, a DC value applied through the range board, or a sine of a known RMS through the
// board (the way a card whose input blocks DC is calibrated). Safe to read from the capture
// thread while the bench window changes it; the setters are called from one thread.
class DemoBench {
public:
    enum class Mode { TestSignals, Grounded, DcValue, Sine, Pulses };

    void setMode(Mode mode);
    // The value applied (volts, or amperes on the 3 A range; for the sine its RMS) and the
    // range set on the board.
    void setValue(double value);
    void setBoardRange(int range);
    // The sine's frequency, 10 Hz to 10 kHz, and the DC its source adds, in the value's unit.
    void setFrequency(double hertz);
    void setOffset(double offset);
    // The pulses' high time over their period, 0.01 to 0.99.
    void setDuty(double duty) { m_duty = std::clamp(duty, 0.01, 0.99); }
    // The card's input blocks DC as a coupling capacitor does.
    void setAcCoupled(bool on);
    // What the card's line-in level passes of the signal: 0 (muted) to 1 (full level).
    void setLineInGain(double gain) { m_gain = gain; }
    Mode mode() const { return m_mode; }

    // The frame at a running frame index.
    StereoFrame frame(std::uint64_t index) const;

    // The card's own zero offsets, as a real line input has them.
    static constexpr int ZeroA = 12;
    static constexpr int ZeroB = -7;
    // The coupling capacitor's corner: a high-pass of first order.
    static constexpr double CouplingCornerHz = 3.0;
    static constexpr double MinFrequency = 10.0;
    static constexpr double MaxFrequency = 10000.0;
    // The board's input filter rounds the pulses' edges: first order, its time constant two
    // samples (10 % to 90 % in 99.6 us).
    static constexpr double PulseEdgeFrames = 2.0;

private:
    struct Levels {
        double a = 0;
        double b = 0;
    };
    // What reaches each input before the card's coupling and line-in level, in raw units: the
    // card's zero, the source's DC and the peak of its sine.
    struct Source {
        Levels zero;
        Levels dc;
        Levels peak;
        double hertz = 0;
    };
    Source source() const;
    void dcChanged(Levels before);
    // A setting of the source changed: the DC it applies before and after it goes to dcChanged.
    template <typename Change>
    void changeSource(Change change) {
        const Levels before = source().dc;
        change();
        dcChanged(before);
    }

    std::atomic<Mode> m_mode{Mode::TestSignals};
    std::atomic<double> m_value{1.5};
    std::atomic<int> m_range{2};
    std::atomic<double> m_gain{1.0};
    std::atomic<double> m_frequency{50.0};
    std::atomic<double> m_offset{0.0};
    std::atomic<double> m_duty{0.5};
    std::atomic<bool> m_acCoupled{false};
    // What the coupling capacitor has not yet taken up of the last change of DC, and when.
    std::atomic<double> m_stepA{0.0};
    std::atomic<double> m_stepB{0.0};
    std::atomic<std::uint64_t> m_stepAt{0};
    // The newest frame asked for: the bench's "now" when a setting changes.
    mutable std::atomic<std::uint64_t> m_newest{0};
};

// The demo's sound cards: the signal generator, and an idle second card to change devices to,
// each with its mixer, whose capture side has a "Line In" source. The generator's Line In
// level and mute act on its signal at once, as on a card, whoever sets them.
struct DemoCard {
    static constexpr const char* Name = "Demo signal generator";
    // A second card with nothing plugged in, to change devices to and fro. Cards are matched
    // to their mixers by the first five letters of their names: this one differs from the first.
    static constexpr const char* IdleName = "Idle card (demo)";
    explicit DemoCard(sim::SimWaveInput::Delivery delivery = sim::SimWaveInput::Delivery::Paced);
    DemoCard(const DemoCard&) = delete;
    DemoCard& operator=(const DemoCard&) = delete;

    // The generator's Line In level, 0 to 65535, as another program would set it.
    void setLineInLevelFromOutside(std::int32_t level);
    std::int32_t lineInLevel() const;
    // Called when the Line In level or mute has changed.
    std::function<void()> onLineInChanged;

    DemoBench bench;
    sim::SimWaveInput waveInput;
    sim::SimMixerService mixers;

private:
    void followLineIn();

    unsigned m_device = 0;
    std::uint32_t m_lineInVolume = 0;
    std::uint32_t m_lineInMute = 0;
};

// A small window to set the bench: what is connected to the inputs.
class DemoBenchWindow : public QWidget {
    Q_OBJECT

public:
    DemoBenchWindow(DemoCard& card, QWidget* parent);
};

}  // namespace veruziva::demo
