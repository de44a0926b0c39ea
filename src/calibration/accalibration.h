#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "calibration/calibrationstate.h"
#include "platform/captureformat.h"

namespace veruziva {

class MessageBoxes;
class SettingsStore;

// A calibration with a sine of known RMS takes this many blocks (about 1.5 s), in this many
// equal parts whose RMS must each lie within AcSteadyPercent of the whole's.
inline constexpr int AcCalibrationBlocks = 16;
inline constexpr int AcCalibrationParts = 4;
inline constexpr double AcSteadyPercent = 1.0;
// Below this RMS (about 1 % of the converter's full scale) the card's own noise and steps
// weigh too much in the factor.
inline constexpr double AcMinimumRawRms = 300.0;
// Blocks let pass after the line-in is set to full level, before measuring.
inline constexpr int AcSettleBlocks = 2;

// What one channel's blocks give for a sine of known RMS: the factor, or why it is refused.
struct AcFactorResult {
    double factor = 0.0;  // 0.0 when refused
    double rawRms = 0.0;  // about the mean, over all the blocks
    double spreadPercent = 0.0;
    QString refusal;  // empty when accepted
};

// The true RMS of one channel of a block, about its mean, from exact integer sums.
double BlockRms(std::span<const StereoFrame> frames, Side side);

// Both channels' sums over the AcCalibrationBlocks blocks of one calibration. The RMS about the
// mean is weighted with a Hann window, over the whole and over each part: a sine then reads its
// RMS to a few parts per million whether or not the span holds whole periods (unweighted, a
// 50 Hz sine over 1.5 s is off by up to 0.1 %, over one part by up to 0.4 %).
class AcRmsSums {
public:
    void addBlock(std::span<const StereoFrame> frames);
    int blocks() const { return static_cast<int>(m_frames / FramesPerBuffer); }
    void clear() { *this = AcRmsSums(); }
    // The weighted RMS of one channel over all the blocks, or over one part.
    double rms(Side side) const;
    double partRms(Side side, int part) const;
    AcFactorResult result(Side side, double appliedRms) const;

private:
    struct Weighted {
        long double weights = 0;
        long double sum = 0;
        long double squares = 0;
        void add(long double weight, long double sample);
        double rms() const;
    };
    struct Channel {
        Weighted whole;
        std::array<Weighted, AcCalibrationParts> parts;
        bool clipped = false;
    };
    std::array<Channel, 2> m_channels;
    std::int64_t m_frames = 0;
};

// What the calibration with a sine does to the window.
struct AcCalibrationHooks {
    std::function<bool()> running;                    // the capture delivers blocks
    std::function<void()> setLineInToFullLevel;       // as the DC calibration does
    std::function<std::int32_t()> selectedDevice;     // the device box's selection
    std::function<std::string()> selectedDeviceName;  // and its name
    std::function<void(int range, bool a, bool b)>
        calibrated;  // ranges to show, buttons to refresh
};

// The calibration of one range with a sine of known RMS, beside the DC procedure: fed the
// running capture's blocks, it measures the chosen channels' true RMS over AcCalibrationBlocks
// blocks, checks it, and puts the factor in force and in the settings.
class AcCalibration {
public:
    struct Request {
        int range = FirstRange;
        bool a = true;
        bool b = true;
        double appliedRms = 0.0;  // volts, or amperes on the 3 A range
    };

    AcCalibration(CalibrationState& state, SettingsStore& store, MessageBoxes& boxes,
                  AcCalibrationHooks hooks);

    // Starts measuring; false (and the reason in status()) when it cannot.
    bool begin(const Request& request);
    void cancel();
    bool measuring() const { return m_measuring; }
    // Each block of the running capture, raw.
    void blockTaken(std::span<const StereoFrame> frames);

    // What the user is told: progress, the factors, or why it was refused.
    const QString& status() const { return m_status; }
    // The true RMS of each channel's last block, raw, for the user to see the sine is there.
    std::array<double, 2> lastRawRms() const { return m_lastRawRms; }
    std::function<void()> onChanged;

private:
    void finish();
    void setStatus(const QString& status);

    CalibrationState& m_state;
    SettingsStore& m_store;
    MessageBoxes& m_boxes;
    AcCalibrationHooks m_hooks;
    Request m_request;
    AcRmsSums m_sums;
    bool m_measuring = false;
    int m_settle = 0;
    QString m_status;
    std::array<double, 2> m_lastRawRms{0.0, 0.0};
};

QString RangeCaption(int range);

}  // namespace veruziva
