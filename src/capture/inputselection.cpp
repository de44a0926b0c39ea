#include "capture/inputselection.h"

#include "capture/captureengine.h"
#include "capture/devicebox.h"
#include "mixer/audiomixer.h"
#include "platform/fatalerrors.h"
#include "platform/messageboxes.h"
#include "platform/waveinput.h"

namespace veruziva {

DeviceBox::~DeviceBox() = default;

namespace selectionmessages {
QString StoredDeviceMissing(const QString& device) {
    return QStringLiteral(
               "The input device used at the last calibration (%1) is not available. "
               "Another input device is chosen; the readings are raw until that device is back "
               "or a new calibration is done.")
        .arg(device);
}
}  // namespace selectionmessages

namespace {

constexpr std::int32_t FullLevel = 0xFFFF;

QString Text(const char* text) {
    return QString::fromLatin1(text);
}

}  // namespace

bool NamesMatch(std::string_view deviceName, std::string_view mixerName) {
    return deviceName.substr(0, 5) == mixerName.substr(0, 5);
}

InputSelection::InputSelection(WaveInput& waveInput, TAudioMixer& mixer, CaptureEngine& engine,
                               DeviceChoice& device, CalibrationFlags calibration, DeviceBox& box,
                               MessageBoxes& boxes, FatalErrors& fatal)
    : m_waveInput(waveInput),
      m_mixer(mixer),
      m_engine(engine),
      m_device(device),
      m_calibration(calibration),
      m_box(box),
      m_boxes(boxes),
      m_fatal(fatal) {}

bool InputSelection::CheckDevicesAvailable() {
    m_waveInCount = m_waveInput.deviceCount();
    if (m_waveInCount == 0) {
        m_fatal.fail(Text(selectionmessages::NoInputDevices));
        return false;
    }
    return true;
}

void InputSelection::EnumerateDevices() {
    m_waveInCount = m_waveInput.deviceCount();
    m_waveInNames.assign(m_waveInCount, std::string());
    m_waveInIdentities.assign(m_waveInCount, std::string());
    for (unsigned device = 0; device < m_waveInCount; ++device) {
        WaveInCaps caps;
        const int index = static_cast<int>(device);
        if (m_waveInput.deviceCaps(device, caps) == wave::NoError) {
            m_waveInNames[device] = caps.productName;
            m_waveInIdentities[device] = caps.identity.empty() ? caps.productName : caps.identity;
            m_box.insertItem(index, QString::fromStdString(caps.productName));
        } else {
            // Keep every later device at its own position; this one matches no mixer.
            m_box.insertItem(index, QStringLiteral("Input device %1 (unavailable)").arg(device));
        }
    }
}

void InputSelection::EnumerateMixers() {
    m_mixerNames.assign(static_cast<std::size_t>(std::max(m_mixer.MixerCount(), 0)), std::string());
    for (int i = 0; i < m_mixer.MixerCount(); ++i) {
        m_mixer.setMixerId(i);
        // A mixer that cannot be opened keeps no name: the component would still show the name
        // of the mixer opened before it, and a device could be paired with the wrong mixer.
        if (m_mixer.MixerId() == i) {
            m_mixerNames[static_cast<std::size_t>(i)] = m_mixer.ProductName();
        }
    }
}

void InputSelection::MatchDeviceAndMixer() {
    for (std::size_t device = 0; device < m_waveInNames.size(); ++device) {
        for (std::size_t mixer = 0; mixer < m_mixerNames.size(); ++mixer) {
            if (!m_waveInNames[device].empty() &&
                NamesMatch(m_waveInNames[device], m_mixerNames[mixer])) {
                m_device.SoundDevice = static_cast<std::int32_t>(device);
                m_device.MixerIndex = static_cast<std::int32_t>(mixer);
                return;
            }
        }
    }
    m_fatal.fail(Text(selectionmessages::NoMixer));
}

void InputSelection::SearchLineIn(std::span<const std::string_view> keys) {
    const TMixerDestinations* destinations = m_mixer.Destinations();
    const TMixerDestination* recording =
        destinations != nullptr ? destinations->DestinationAt(LineInDestination) : nullptr;
    if (recording == nullptr) {
        return;
    }
    for (int line = 0; line < recording->Connections.ConnectionCount(); ++line) {
        if (NameHoldsKey(recording->Connections.ConnectionAt(line)->LineInfo.name, keys)) {
            m_device.LineIn = line;
        }
        if (m_device.LineIn >= 0) {
            return;
        }
    }
}

void InputSelection::openMatchedMixer() {
    // The enumeration leaves the component on the last mixer; the line-in is the device's own.
    if (m_device.MixerIndex != m_mixer.MixerId()) {
        m_mixer.setMixerId(m_device.MixerIndex);
    }
}

void InputSelection::StartUp() {
    ChooseAtStartUp();
    SetLineInLevelAtStartUp();
}

void InputSelection::ChooseAtStartUp() {
    EnumerateDevices();
    EnumerateMixers();
    if (m_calibration.calibrated && !storedDeviceIsHere()) {
        // The card of the stored calibration is not there: choose a device as on a first run.
        m_boxes.showMessage(selectionmessages::StoredDeviceMissing(
            m_device.SoundDeviceName.empty() ? QStringLiteral("device %1").arg(m_device.SoundDevice)
                                             : QString::fromStdString(m_device.SoundDeviceName)));
        m_calibration.calibrated = false;
        m_device.SoundDevice = 0;
        m_device.MixerIndex = 0;
        m_device.LineIn = -1;
    }
    if (!m_calibration.calibrated) {
        MatchDeviceAndMixer();
        openMatchedMixer();
        SearchLineIn(StartupLineInKeys);
    } else {
        openMatchedMixer();
    }
    m_engine.setSoundDevice(m_device.SoundDevice);
    m_box.setCurrentIndex(m_device.SoundDevice);
}

bool InputSelection::storedDeviceIsHere() const {
    if (m_device.SoundDevice < 0 || static_cast<unsigned>(m_device.SoundDevice) >= m_waveInCount) {
        return false;
    }
    // A file of an earlier version names no device: its number is all there is to go by.
    return m_device.SoundDeviceName.empty() ||
           StoredDeviceName(DeviceIdentity(m_device.SoundDevice)) == m_device.SoundDeviceName;
}

std::string InputSelection::DeviceIdentity(int device) const {
    return device >= 0 && static_cast<std::size_t>(device) < m_waveInIdentities.size()
               ? m_waveInIdentities[static_cast<std::size_t>(device)]
               : std::string();
}

bool InputSelection::CheckLineInAtStartUp() {
    if (m_device.LineIn < 0 && m_calibration.calibrated) {
        // Calibrated on a device without a line input: it is used as it was calibrated.
        m_boxes.showMessage(Text(selectionmessages::CalibratedWithoutLineIn));
        return false;
    }
    if (m_device.LineIn < 0) {
        m_fatal.fail(Text(selectionmessages::NoLineIn));
    }
    if (!m_calibration.calibrated) {
        LineLevel level;
        if (!m_mixer.GetLineLevel(LineInDestination, m_device.LineIn, level)) {
            m_fatal.fail(Text(selectionmessages::GetLevelFailed));
        }
    }
    return true;
}

void InputSelection::SetLineInLevelAtStartUp() {
    // A start-up that is ending leaves every mixer as it found it: without a line-in, line -1
    // would turn up the recording destination itself, a desktop's microphone perhaps.
    if (!CheckLineInAtStartUp() || m_fatal.endRequested()) {
        return;
    }
    if (!m_mixer.SetLineLevel(LineInDestination, m_device.LineIn, FullLevel, FullLevel, 0)) {
        m_fatal.fail(Text(selectionmessages::SetLevelFailed));
    }
}

void InputSelection::WaveInDevicesChange(int selected,
                                         const std::function<void()>& dispatchEvents) {
    if (selected == m_device.SoundDevice) {
        return;
    }
    if (selected < 0 || static_cast<std::size_t>(selected) >= m_waveInNames.size()) {
        // Text typed into the box names no device: nothing to change.
        m_box.setCurrentIndex(m_device.SoundDevice);
        return;
    }
    bool matched = false;
    const std::string& name = m_waveInNames[static_cast<std::size_t>(selected)];
    for (std::size_t mixer = 0; mixer < m_mixerNames.size(); ++mixer) {
        if (!name.empty() && NamesMatch(name, m_mixerNames[mixer])) {
            matched = true;
            m_device.MixerIndex = static_cast<std::int32_t>(mixer);
        }
    }
    if (matched) {
        m_engine.CloseWaveIn();
        m_device.SoundDevice = selected;
        m_engine.setSoundDevice(selected);
        m_calibration.calibrated = false;
        m_calibration.rawDisplay = true;
        m_engine.OpenWaveIn();
        openMatchedMixer();
        m_device.LineIn = -1;
        SearchLineIn(DeviceChangeLineInKeys);
        if (m_device.LineIn < 0) {
            m_boxes.showMessage(Text(selectionmessages::NoLineIn));
        }
        if (!m_mixer.SetLineLevel(LineInDestination, m_device.LineIn, FullLevel, FullLevel, 0)) {
            m_boxes.showMessage(Text(selectionmessages::SetLevelFailed));
        }
    } else {
        m_box.setCurrentIndex(m_device.SoundDevice);
    }
    if (dispatchEvents) {
        dispatchEvents();
    }
}

}  // namespace veruziva
