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

void AcRmsSums::addBlock(std::span<const StereoFrame> frames) {
    std::array<ChannelSums, 2> block;
    for (const StereoFrame& frame : frames) {
        const std::array<std::int64_t, 2> samples{frame.a, frame.b};
        for (std::size_t c = 0; c < 2; ++c) {
            block[c].sum += samples[c];
            block[c].squares += samples[c] * samples[c];
            block[c].clipped = block[c].clipped || samples[c] >= 32767 || samples[c] <= -32768;
        }
    }
    for (ChannelSums& channel : block) {
        channel.frames = static_cast<std::int64_t>(frames.size());
    }
    m_blocks.push_back(block);
}

double AcRmsSums::rms(Side side, int first, int count) const {
    const std::size_t c = side == Side::Left ? 0 : 1;
    std::int64_t sum = 0;
    std::int64_t squares = 0;
    std::int64_t frames = 0;
    for (int i = first; i < first + count && i < blocks(); ++i) {
        const ChannelSums& block = m_blocks[static_cast<std::size_t>(i)][c];
        sum += block.sum;
        squares += block.squares;
        frames += block.frames;
    }
    if (frames == 0) {
        return 0.0;
    }
    // n * sum of squares - sum^2 from exact integer sums; each product is below 2^64, which a
    // long double's mantissa holds exactly, so only the root is rounded.
    const long double n = static_cast<long double>(frames);
    const long double spread = n * static_cast<long double>(squares) -
                               static_cast<long double>(sum) * static_cast<long double>(sum);
    return static_cast<double>(std::sqrt(std::max(spread, 0.0L)) / n);
}

AcFactorResult AcRmsSums::result(Side side, double appliedRms) const {
    AcFactorResult result;
    const std::size_t c = side == Side::Left ? 0 : 1;
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
    result.rawRms = rms(side, 0, blocks());
    const bool clipped = std::any_of(m_blocks.begin(), m_blocks.end(),
                                     [c](const auto& block) { return block[c].clipped; });
    if (clipped) {
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
    const int part = blocks() / AcCalibrationParts;
    for (int i = 0; i < AcCalibrationParts; ++i) {
        const double deviation = std::abs(rms(side, i * part, part) / result.rawRms - 1.0) * 100;
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
    AcRmsSums last;
    last.addBlock(frames);
    m_lastRawRms = {last.rms(Side::Left, 0, 1), last.rms(Side::Right, 0, 1)};
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
