#pragma once

#include <QString>
#include <array>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capture/devicechoice.h"
#include "platform/lineinkeys.h"

namespace veruziva {

class CaptureEngine;
class DeviceBox;
class FatalErrors;
class MessageBoxes;
class TAudioMixer;
class WaveInput;

namespace selectionmessages {
inline constexpr const char* NoInputDevices = "Input devices are not available";
inline constexpr const char* NoMixer = "Mixer device NOT available.... Set up AUDIO properly!";
inline constexpr const char* NoLineIn =
    "LineIn device NOT available.... Try another mixer or set up AUDIO properly!";
inline constexpr const char* GetLevelFailed =
    "Problem getting LineIn volume... Set AUDIO properly, please!";
inline constexpr const char* SetLevelFailed =
    "Problem setting LineIn volume... Set AUDIO properly, please!";
// The stored calibration names an input device that is not there (a card unplugged), or
// another device now has its number; `device` is its name, or its number when the name is
// not known.
QString StoredDeviceMissing(const QString& device);
// A calibration was completed on a device whose mixer has no line input.
inline constexpr const char* CalibratedWithoutLineIn =
    "The mixer of this input device has no line input, so its recording level is not set. The "
    "calibration was made at the level the mixer had then: keep it there, or calibrate again.";
}  // namespace selectionmessages

// The mixer destination whose source lines are the inputs (the recording side).
inline constexpr int LineInDestination = 1;

// True when the two names agree in their first five characters (a shorter name whole),
// letter case included.
bool NamesMatch(std::string_view deviceName, std::string_view mixerName);

// Which input device the capture opens, its mixer by name, the mixer's line-in source among the
// source lines of destination 1, and that source turned fully up; at start-up and whenever the
// user picks another device.
class InputSelection {
public:
    InputSelection(WaveInput& waveInput, TAudioMixer& mixer, CaptureEngine& engine,
                   DeviceChoice& device, CalibrationFlags calibration, DeviceBox& box,
                   MessageBoxes& boxes, FatalErrors& fatal);

    // False, with the end requested, when the platform reports no input device.
    bool CheckDevicesAvailable();
    // The start-up steps: device and mixer enumeration, matching and line-in search when not
    // calibrated, the device box's selection, and the line-in checks and level.
    void StartUp();
    // Start-up's choice alone: everything up to the device box's selection, writing nothing to
    // the mixer.
    void ChooseAtStartUp();
    // Start-up's line-in checks and level.
    void SetLineInLevelAtStartUp();
    // The checks alone, writing nothing: false when start-up sets no level (a calibration on a
    // device without a line input, or a failure, whose message is shown).
    bool CheckLineInAtStartUp();
    // The device box's change handler; `dispatchEvents` runs pending events at its end.
    void WaveInDevicesChange(int selected, const std::function<void()>& dispatchEvents);

    unsigned WaveInCount() const { return m_waveInCount; }
    // What a calibration stores to know the device again: its identity, else its name.
    std::string DeviceIdentity(int device) const;
    const std::vector<std::string>& MixerNames() const { return m_mixerNames; }

    // The steps StartUp() is made of.
    void EnumerateDevices();
    void EnumerateMixers();
    void MatchDeviceAndMixer();
    void SearchLineIn(std::span<const std::string_view> keys);

private:
    // Puts the component on the mixer that belongs to the device.
    void openMatchedMixer();
    // The stored calibration's device is the one that has its number now.
    bool storedDeviceIsHere() const;

    WaveInput& m_waveInput;
    TAudioMixer& m_mixer;
    CaptureEngine& m_engine;
    DeviceChoice& m_device;
    CalibrationFlags m_calibration;
    DeviceBox& m_box;
    MessageBoxes& m_boxes;
    FatalErrors& m_fatal;
    unsigned m_waveInCount = 0;
    std::vector<std::string> m_waveInNames;
    std::vector<std::string> m_waveInIdentities;
    std::vector<std::string> m_mixerNames;
};

}  // namespace veruziva
