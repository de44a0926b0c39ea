#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "calibration/calibrationstate.h"
#include "capture/polledinput.h"
#include "platform/captureformat.h"

namespace veruziva {

class MessageBoxes;
class SettingsStore;

// The calibration value dialog: shown modally, its buttons store the entry, converted to a
// number, in `value`; closing it by other means leaves `value` as it was.
class ValueEntry {
public:
    virtual ~ValueEntry();
    virtual void ShowCalibrationValue(double& value) = 0;
};

// What the procedure does to the window.
struct CalibrationHooks {
    std::function<void()> setLineInToFullLevel;        // the line-in fully up and unmuted
    std::function<void(bool)> setRangeButtonsEnabled;  // the eight range buttons
    std::function<bool()> rangeButtonsEnabled;
    std::function<void()> dispatchEvents;             // pending window events
    std::function<std::int32_t()> selectedDevice;     // the device box's selection
    std::function<std::string()> selectedDeviceName;  // and the name of that device
};

namespace calibrationmessages {
inline constexpr const char* Opening =
    "Do you have manual switch board and is it connected properly?";
inline constexpr const char* Declined = "Nothing to do... Try to read help, then try again!";
inline constexpr const char* ZeroQuestion =
    "Set manually the same range at BOTH channel switches, connect inputs with ground and press "
    "OK. Then wait for the next message.";
inline constexpr const char* NotZeroed =
    "Channels seem not to be zeroed properly. Check your hardware, read help, then try again...";
inline constexpr const char* EnteredZero = "You entered ZERO! This is not what was expected...";
inline constexpr const char* OutOfSuggestedRange =
    "Entered value is out of suggested range! Callibration will not be optimal!";
inline constexpr const char* OutOfOptimalRange =
    "One or both channels seems out of the optimal range. Check audio setup and start "
    "calibration again.";
inline constexpr const char* NotCompleted = "Calibration was not completed!";
inline constexpr const char* Completed = "Calibration was completed!";

QString ZeroValues(std::int32_t left, std::int32_t right);
QString RangeQuestion(int range);
QString RawValues(std::int32_t left, std::int32_t right);
QString RawValueZero(std::int64_t left, std::int64_t right);
QString CalibrationValueZero(double left, double right);
QString RangeCompleted(int range, bool last);
}  // namespace calibrationmessages

// The calibration: the zero offsets of both channels with the inputs grounded, then for each
// range the mean reading of both channels with a known DC value applied, the value the user
// enters, and the checked factors; a completed calibration is saved at once.
class CalibrationProcedure {
public:
    CalibrationProcedure(CalibrationState& state, PolledInput& input, MessageBoxes& boxes,
                         ValueEntry& entry, SettingsStore& store, CalibrationHooks hooks);

    // The Calibrate button: runs the whole dialogue.
    void CalibrateClick();

    static std::string_view RangeName(int range);
    static std::string_view SuggestedValue(int range);

private:
    struct BlockSums {
        std::int64_t a = 0;
        std::int64_t b = 0;
    };
    // Four grabs; the sums of each channel over the last one's block.
    BlockSums grab();
    // Steps a to j of one pass.
    void pass();
    // The checks of step i; true when the range is done.
    bool checkFactors(int range, std::int64_t correctedA, std::int64_t correctedB);

    CalibrationState& m_state;
    PolledInput& m_input;
    MessageBoxes& m_boxes;
    ValueEntry& m_entry;
    SettingsStore& m_store;
    CalibrationHooks m_hooks;

    bool m_cancelled = false;
    bool m_zeroPending = true;
    int m_range = FirstRange;
};

}  // namespace veruziva
