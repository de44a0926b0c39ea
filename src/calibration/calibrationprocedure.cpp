#include "calibration/calibrationprocedure.h"

#include <QDateTime>
#include <QLocale>
#include <cmath>

#include "calibration/storedsettings.h"
#include "measurement/numberformat.h"
#include "platform/messageboxes.h"

namespace veruziva {

ValueEntry::~ValueEntry() = default;

namespace {

constexpr int GrabsPerReading = 4;
constexpr std::int64_t ZeroLimit = 2000;
constexpr std::int64_t RatioMinimum = 8000;
constexpr std::int64_t RatioMaximum = 24000;

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString General(double value) {
    return QString::fromStdString(
        FormatGeneral(value, QLocale::system().decimalPoint().toStdString()));
}

}  // namespace

namespace calibrationmessages {

QString ZeroValues(std::int32_t left, std::int32_t right) {
    return QStringLiteral("Zero values in both channels were as follows: \nL= %1, R=%2")
        .arg(left)
        .arg(right);
}

QString RangeQuestion(int range) {
    return QStringLiteral(
               "Set manually %1 range at BOTH channels.\nConnect BOTH inputs with approximately %2 "
               "DC and press OK.\nThen wait for the next message.\nTo cancel calibration press "
               "Cancel.")
        .arg(Latin1(CalibrationProcedure::RangeName(range)),
             Latin1(CalibrationProcedure::SuggestedValue(range)));
}

QString RawValues(std::int32_t left, std::int32_t right) {
    return QStringLiteral("In this step raw values in channels were as follows: \nL= %1, R=%2")
        .arg(left)
        .arg(right);
}

QString RawValueZero(std::int64_t left, std::int64_t right) {
    return QStringLiteral(
               "Raw value in L or R channel equals to zero! \nL=%1 R=%2 - something is wrong! We "
               "will not continue... ")
        .arg(static_cast<qlonglong>(left))
        .arg(static_cast<qlonglong>(right));
}

QString CalibrationValueZero(double left, double right) {
    return QStringLiteral(
               "Calibration value in L or R channel equals to zero! \nL=%1 R=%2 - something is "
               "wrong! We will not continue... ")
        .arg(General(left), General(right));
}

QString RangeCompleted(int range, bool last) {
    return QStringLiteral("Calibration of the %1 range was completed. Calibration will %2")
        .arg(Latin1(CalibrationProcedure::RangeName(range)),
             last ? QStringLiteral("be finished.") : QStringLiteral("continue."));
}

}  // namespace calibrationmessages

using namespace calibrationmessages;

std::string_view CalibrationProcedure::RangeName(int range) {
    static constexpr std::array<std::string_view, RangeCount> Names{"0.3V", "3.0V", "30V", "3A"};
    if (range < FirstRange || range > LastRange) {
        throw RangeCheckError();
    }
    return Names[static_cast<std::size_t>(range - FirstRange)];
}

std::string_view CalibrationProcedure::SuggestedValue(int range) {
    static constexpr std::array<std::string_view, RangeCount> Values{"0.15V", "1.5V", "10V", "1A"};
    if (range < FirstRange || range > LastRange) {
        throw RangeCheckError();
    }
    return Values[static_cast<std::size_t>(range - FirstRange)];
}

CalibrationProcedure::CalibrationProcedure(CalibrationState& state, PolledInput& input,
                                           MessageBoxes& boxes, ValueEntry& entry,
                                           SettingsStore& store, CalibrationHooks hooks)
    : m_state(state),
      m_input(input),
      m_boxes(boxes),
      m_entry(entry),
      m_store(store),
      m_hooks(std::move(hooks)) {}

CalibrationProcedure::BlockSums CalibrationProcedure::grab() {
    for (int i = 0; i < GrabsPerReading; ++i) {
        m_input.GrabBlock();
    }
    BlockSums sums;
    const std::span<const StereoFrame> frames = m_input.GrabbedFrames().first(std::min<std::size_t>(
        m_input.GrabbedFrames().size(), static_cast<std::size_t>(FramesPerBuffer)));
    for (const StereoFrame frame : frames) {
        sums.a += frame.a;
        sums.b += frame.b;
    }
    return sums;
}

void CalibrationProcedure::CalibrateClick() {
    if (m_boxes.confirm(QString::fromLatin1(Opening), ConfirmButtons::YesNo) == Answer::No) {
        m_boxes.showMessage(QString::fromLatin1(Declined));
        return;
    }
    // What was in force before: a cancelled run leaves it so, as the stored settings do.
    const CalibrationState before = m_state;
    const bool buttonsBefore = m_hooks.rangeButtonsEnabled && m_hooks.rangeButtonsEnabled();
    for (int r = FirstRange; r <= LastRange; ++r) {
        m_state.CalFactor[r] = CalFactorPair{};
        m_state.RawCalibration[r] = RawCalibrationRecord{};
    }
    m_state.Made.fill(RangeCalibrationPair{});
    if (m_hooks.setLineInToFullLevel) {
        m_hooks.setLineInToFullLevel();
    }
    m_input.CloseWaveIn();
    m_input.OpenWaveInPolled();
    m_state.Calibrated = false;
    if (m_hooks.setRangeButtonsEnabled) {
        m_hooks.setRangeButtonsEnabled(false);
    }
    m_cancelled = false;
    m_zeroPending = true;
    m_range = FirstRange;
    do {
        pass();
    } while (!m_cancelled && !m_state.Calibrated);
    m_input.CloseWaveIn();
    m_input.OpenWaveIn();
    if (m_cancelled) {
        m_boxes.showMessage(QString::fromLatin1(NotCompleted));
        const double lastEntry = m_state.CalibrationValue;
        m_state = before;
        m_state.CalibrationValue = lastEntry;  // the value dialog keeps the last entry
        if (m_hooks.setRangeButtonsEnabled) {
            m_hooks.setRangeButtonsEnabled(buttonsBefore);
        }
    } else if (m_state.Calibrated) {
        const std::int32_t device =
            m_hooks.selectedDevice ? m_hooks.selectedDevice() : m_state.Device.SoundDevice;
        if (m_hooks.selectedDeviceName) {
            m_state.Device.SoundDeviceName = m_hooks.selectedDeviceName();
        }
        MarkDcCalibration(m_state, QDateTime::currentMSecsSinceEpoch(),
                          StoredDeviceName(m_state.Device.SoundDeviceName));
        if (SaveSettings(m_store, m_state, device, m_boxes)) {
            m_boxes.showMessage(QString::fromLatin1(Completed));
            if (m_hooks.setRangeButtonsEnabled) {
                m_hooks.setRangeButtonsEnabled(true);
            }
        }
    }
}

void CalibrationProcedure::pass() {
    // a. The zero offsets, in the first pass only.
    if (m_zeroPending) {
        if (m_boxes.confirm(QString::fromLatin1(ZeroQuestion), ConfirmButtons::OkCancel) ==
            Answer::Ok) {
            const BlockSums zero = grab();
            m_state.ZeroLeft = static_cast<std::int32_t>(zero.a / FramesPerBuffer);
            m_state.ZeroRight = static_cast<std::int32_t>(zero.b / FramesPerBuffer);
            m_boxes.showMessage(ZeroValues(m_state.ZeroLeft, m_state.ZeroRight));
            if (std::abs(m_state.ZeroLeft) > ZeroLimit || std::abs(m_state.ZeroRight) > ZeroLimit) {
                m_boxes.showMessage(QString::fromLatin1(NotZeroed));
                m_cancelled = true;
            }
        } else {
            m_cancelled = true;
        }
        m_zeroPending = false;
    }
    // b.
    if (m_hooks.dispatchEvents) {
        m_hooks.dispatchEvents();
    }
    // c.
    const int range = m_range;
    if (m_boxes.confirm(RangeQuestion(range), ConfirmButtons::OkCancel) != Answer::Ok) {
        m_cancelled = true;
        return;
    }
    // d to g: the reading with the value applied.
    const BlockSums sums = grab();
    const std::int64_t meanA = sums.a / FramesPerBuffer;
    const std::int64_t meanB = sums.b / FramesPerBuffer;
    RawCalibrationRecord& record = m_state.RawCalibration[range];
    // The means are stored with their signs: the factor derived from them at the next start
    // is then the one computed here.
    record.RawFactorLeft = static_cast<std::int32_t>(meanA);
    record.RawFactorRight = static_cast<std::int32_t>(meanB);
    m_boxes.showMessage(RawValues(static_cast<std::int32_t>(std::abs(meanA)),
                                  static_cast<std::int32_t>(std::abs(meanB))));
    const std::int64_t correctedA = meanA - m_state.ZeroLeft;
    const std::int64_t correctedB = meanB - m_state.ZeroRight;
    // h. The value applied, as the user read it.
    m_entry.ShowCalibrationValue(m_state.CalibrationValue);
    while (m_state.CalibrationValue == 0.0) {
        m_boxes.showMessage(QString::fromLatin1(EnteredZero));
        m_entry.ShowCalibrationValue(m_state.CalibrationValue);
    }
    const std::optional<std::int32_t> rawValue = RoundToInt32(m_state.CalibrationValue * 10000);
    if (!rawValue) {
        // An absurd entry cannot be stored: refused like a reading out of the optimal range.
        m_boxes.showMessage(QString::fromLatin1(OutOfOptimalRange));
        return;
    }
    record.RawValue = *rawValue;
    const double fullScale = RangeFullScale(range);
    if (0.1 * fullScale > m_state.CalibrationValue || m_state.CalibrationValue > fullScale) {
        m_boxes.showMessage(QString::fromLatin1(OutOfSuggestedRange));
    }
    // i and j.
    if (checkFactors(range, correctedA, correctedB)) {
        ++m_range;
        const bool last = m_range > LastRange;
        if (!m_cancelled) {
            m_boxes.showMessage(RangeCompleted(range, last));
        }
        if (last) {
            m_state.Calibrated = true;
        }
    }
}

bool CalibrationProcedure::checkFactors(int range, std::int64_t correctedA,
                                        std::int64_t correctedB) {
    if (correctedA == 0 || correctedB == 0) {
        m_boxes.showMessage(RawValueZero(correctedA, correctedB));
        return false;
    }
    CalFactorPair& factor = m_state.CalFactor[range];
    factor.Left = m_state.CalibrationValue / static_cast<double>(std::abs(correctedA));
    factor.Right = m_state.CalibrationValue / static_cast<double>(std::abs(correctedB));
    if (factor.Left == 0.0 || factor.Right == 0.0) {
        m_boxes.showMessage(CalibrationValueZero(factor.Left, factor.Right));
        return false;  // no ratio can be formed: the range is asked again
    }
    const double fullScale = RangeFullScale(range);
    const std::optional<std::int32_t> ratioA = RoundToInt32(fullScale / factor.Left);
    const std::optional<std::int32_t> ratioB = RoundToInt32(fullScale / factor.Right);
    auto inWindow = [](std::optional<std::int32_t> ratio) {
        return ratio && std::abs(std::int64_t{*ratio}) >= RatioMinimum &&
               std::abs(std::int64_t{*ratio}) <= RatioMaximum;
    };
    if (!inWindow(ratioA) || !inWindow(ratioB)) {
        m_boxes.showMessage(QString::fromLatin1(OutOfOptimalRange));
        return false;
    }
    return true;
}

}  // namespace veruziva
