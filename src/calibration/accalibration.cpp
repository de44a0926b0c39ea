#include "calibration/accalibration.h"

#include <QDateTime>
#include <QLocale>
#include <algorithm>
#include <cmath>

#include "calibration/storedsettings.h"
#include "platform/messageboxes.h"

namespace veruziva {
namespace {

QString Number(double value, int digits) {
    return QLocale::system().toString(value, 'g', digits);
}

QString ChannelName(Side side) {
    return side == Side::Left ? QStringLiteral("A") : QStringLiteral("B");
}

}  // namespace

QString RangeCaption(int range) {
    static constexpr std::array<const char*, RangeCount> Captions{"0.3 V", "3 V", "30 V", "3 A"};
    return QString::fromLatin1(Captions.at(static_cast<std::size_t>(range - FirstRange)));
}

namespace {

constexpr std::int64_t WindowFrames = std::int64_t{AcCalibrationBlocks} * FramesPerBuffer;
constexpr std::int64_t PartFrames = WindowFrames / AcCalibrationParts;

// The Hann window's weight of frame n of a span of `length` frames.
long double Hann(std::int64_t n, std::int64_t length) {
    const long double s =
        std::sin(static_cast<long double>(M_PI) * (static_cast<long double>(n) + 0.5L) /
                 static_cast<long double>(length));
    return s * s;
}

}  // namespace

double BlockRms(std::span<const StereoFrame> frames, Side side) {
    if (frames.empty()) {
        return 0.0;
    }
    std::int64_t sum = 0;
    std::int64_t squares = 0;
    for (const StereoFrame& frame : frames) {
        const std::int64_t sample = side == Side::Left ? frame.a : frame.b;
        sum += sample;
        squares += sample * sample;
    }
    // n * S2 - S1^2 from exact integer sums; each product fits a long double's mantissa.
    const auto n = static_cast<long double>(frames.size());
    const long double spread = n * static_cast<long double>(squares) -
                               static_cast<long double>(sum) * static_cast<long double>(sum);
    return static_cast<double>(std::sqrt(std::max(spread, 0.0L)) / n);
}

void AcRmsSums::Weighted::add(long double weight, long double sample) {
    weights += weight;
    sum += weight * sample;
    squares += weight * sample * sample;
}

double AcRmsSums::Weighted::rms() const {
    if (weights <= 0) {
        return 0.0;
    }
    const long double mean = sum / weights;
    return static_cast<double>(std::sqrt(std::max(squares / weights - mean * mean, 0.0L)));
}

void AcRmsSums::addBlock(std::span<const StereoFrame> frames) {
    for (const StereoFrame& frame : frames) {
        if (m_frames >= WindowFrames) {
            break;  // a calibration takes its blocks and no more
        }
        const long double whole = Hann(m_frames, WindowFrames);
        const long double part = Hann(m_frames % PartFrames, PartFrames);
        const auto partIndex = static_cast<std::size_t>(m_frames / PartFrames);
        for (std::size_t c = 0; c < 2; ++c) {
            const int sample = c == 0 ? frame.a : frame.b;
            Channel& channel = m_channels[c];
            channel.whole.add(whole, sample);
            channel.parts[partIndex].add(part, sample);
            channel.clipped = channel.clipped || sample >= 32767 || sample <= -32768;
        }
        ++m_frames;
    }
}

double AcRmsSums::rms(Side side) const {
    return m_channels[side == Side::Left ? 0 : 1].whole.rms();
}

double AcRmsSums::partRms(Side side, int part) const {
    return m_channels[side == Side::Left ? 0 : 1].parts.at(static_cast<std::size_t>(part)).rms();
}

AcFactorResult AcRmsSums::result(Side side, double appliedRms) const {
    AcFactorResult result;
    const QString channel = ChannelName(side);
    if (!(appliedRms > 0.0) || !std::isfinite(appliedRms)) {
        result.refusal = QStringLiteral(
            "Type the RMS of the sine applied, as your multimeter reads it: a number above 0.");
        return result;
    }
    if (blocks() < AcCalibrationBlocks) {
        result.refusal = QStringLiteral("The input delivered too few blocks to measure.");
        return result;
    }
    result.rawRms = rms(side);
    if (m_channels[side == Side::Left ? 0 : 1].clipped) {
        result.refusal = QStringLiteral(
                             "Channel %1 clips: the sine's peaks reach the limits of "
                             "the input. Apply a smaller sine, or the next range up.")
                             .arg(channel);
        return result;
    }
    if (result.rawRms < AcMinimumRawRms) {
        result.refusal = QStringLiteral(
                             "Channel %1 reads too small a sine to calibrate with: %2 raw units "
                             "RMS, at least %3 are needed. Apply a larger sine, or the next "
                             "range down.")
                             .arg(channel, Number(result.rawRms, 4), Number(AcMinimumRawRms, 4));
        return result;
    }
    for (int i = 0; i < AcCalibrationParts; ++i) {
        const double deviation = std::abs(partRms(side, i) / result.rawRms - 1.0) * 100;
        result.spreadPercent = std::max(result.spreadPercent, deviation);
    }
    if (result.spreadPercent > AcSteadyPercent) {
        result.refusal =
            QStringLiteral(
                "Channel %1's sine was not steady: its RMS moved by %2 % while it was "
                "measured, at most %3 % is allowed. Hold the probes still and try "
                "again.")
                .arg(channel, Number(result.spreadPercent, 2), Number(AcSteadyPercent, 2));
        return result;
    }
    result.factor = appliedRms / result.rawRms;
    return result;
}

AcCalibration::AcCalibration(CalibrationState& state, SettingsStore& store, MessageBoxes& boxes,
                             AcCalibrationHooks hooks)
    : m_state(state), m_store(store), m_boxes(boxes), m_hooks(std::move(hooks)) {}

bool AcCalibration::begin(const Request& request) {
    if (request.range < FirstRange || request.range > LastRange) {
        setStatus(QStringLiteral("Choose a range."));
        return false;
    }
    if (!request.a && !request.b) {
        setStatus(QStringLiteral("Choose channel A, B or both."));
        return false;
    }
    if (!(request.appliedRms > 0.0) || !std::isfinite(request.appliedRms)) {
        setStatus(QStringLiteral(
            "Type the RMS of the sine applied, as your multimeter reads it: a number above 0."));
        return false;
    }
    if (m_hooks.running && !m_hooks.running()) {
        setStatus(
            QStringLiteral("Press Start in the main window first: the calibration "
                           "measures the running input."));
        return false;
    }
    m_request = request;
    m_sums.clear();
    // The calibration holds at the level it is made at: full, as the DC calibration sets it.
    if (m_hooks.setLineInToFullLevel) {
        m_hooks.setLineInToFullLevel();
    }
    m_settle = AcSettleBlocks;
    m_measuring = true;
    setStatus(QStringLiteral("Measuring... keep the sine applied."));
    return true;
}

void AcCalibration::cancel() {
    if (m_measuring) {
        m_measuring = false;
        setStatus(QStringLiteral("Cancelled: nothing was changed."));
    }
}

void AcCalibration::blockTaken(std::span<const StereoFrame> frames) {
    if (frames.empty()) {
        return;
    }
    m_lastRawRms = {BlockRms(frames, Side::Left), BlockRms(frames, Side::Right)};
    if (m_measuring) {
        if (m_settle > 0) {
            --m_settle;
        } else {
            m_sums.addBlock(frames);
            if (m_sums.blocks() >= AcCalibrationBlocks) {
                finish();
                return;
            }
        }
    }
    if (onChanged) {
        onChanged();
    }
}

void AcCalibration::finish() {
    m_measuring = false;
    std::vector<Side> sides;
    if (m_request.a) {
        sides.push_back(Side::Left);
    }
    if (m_request.b) {
        sides.push_back(Side::Right);
    }
    std::vector<AcFactorResult> results;
    QStringList refusals;
    for (const Side side : sides) {
        results.push_back(m_sums.result(side, m_request.appliedRms));
        if (!results.back().refusal.isEmpty()) {
            refusals << results.back().refusal;
        }
    }
    if (!refusals.isEmpty()) {
        // Both channels or neither: a calibration half made is not what was asked for.
        setStatus(QStringLiteral("Not calibrated: ") + refusals.join(QLatin1Char(' ')));
        return;
    }
    const CalibrationState before = m_state;
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    if (m_hooks.selectedDeviceName) {
        m_state.Device.SoundDeviceName = StoredDeviceName(m_hooks.selectedDeviceName());
    }
    QStringList done;
    const QString unit = m_request.range == AmpereRange ? QStringLiteral("A") : QStringLiteral("V");
    for (std::size_t i = 0; i < sides.size(); ++i) {
        ApplyAcFactor(m_state, m_request.range, sides[i], results[i].factor, now,
                      m_state.Device.SoundDeviceName);
        done << QStringLiteral("%1 reads %2 raw units RMS, %3 %4 per unit")
                    .arg(ChannelName(sides[i]), Number(results[i].rawRms, 6),
                         Number(results[i].factor, 6), unit);
    }
    const std::int32_t device =
        m_hooks.selectedDevice ? m_hooks.selectedDevice() : m_state.Device.SoundDevice;
    if (!SaveAcCalibration(m_store, m_state, device, m_boxes)) {
        // Not kept, not in force: the user must not measure with what the next start forgets.
        m_state = before;
        setStatus(QStringLiteral("Not calibrated: the settings could not be written."));
        return;
    }
    if (m_state.RawDisplay && !before.Calibrated && !AnyRangeInForce(before)) {
        m_state.RawDisplay = false;  // the first range calibrated: its readings in its unit
    }
    if (m_hooks.calibrated) {
        m_hooks.calibrated(m_request.range, m_request.a, m_request.b);
    }
    setStatus(QStringLiteral("The %1 range is calibrated: %2.")
                  .arg(RangeCaption(m_request.range), done.join(QStringLiteral("; "))));
}

void AcCalibration::setStatus(const QString& status) {
    m_status = status;
    if (onChanged) {
        onChanged();
    }
}

}  // namespace veruziva
