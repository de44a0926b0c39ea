#include "calibration/storedsettings.h"

#include "calibration/settingsstore.h"
#include "platform/messageboxes.h"

namespace veruziva {
namespace {

// The variable behind each stored value, in table order.
std::int32_t& StoredField(CalibrationState& state, std::size_t index) {
    switch (index) {
        case 0:
            return state.Device.SoundDevice;
        case 1:
            return state.Device.MixerIndex;
        case 2:
            return state.Device.LineIn;
        case 3:
            return state.ZeroLeft;
        case 4:
            return state.ZeroRight;
        default:
            break;
    }
    const int range = static_cast<int>((index - 5) % RangeCount) + FirstRange;
    RawCalibrationRecord& record = state.RawCalibration[range];
    switch ((index - 5) / RangeCount) {
        case 0:
            return record.RawValue;
        case 1:
            return record.RawFactorLeft;
        case 2:
            return record.RawFactorRight;
        default:
            throw RangeCheckError();
    }
}

constexpr std::size_t SoundDeviceIndex = 0;

}  // namespace

QString InvalidDataTypeText(const QString& name) {
    return QStringLiteral("Invalid data type for '%1'").arg(name);
}

QString FailedToSetDataText(const QString& name) {
    return QStringLiteral("Failed to set data for '%1'").arg(name);
}

void LoadSettings(SettingsStore& store, CalibrationState& state, MessageBoxes& boxes) {
    if (!store.open()) {
        return;
    }
    for (std::size_t i = 0; i < StoredValueNames.size(); ++i) {
        const QString name = QString::fromLatin1(StoredValueNames[i]);
        const SettingsStore::ReadResult result = store.readInteger(name);
        if (result.status == SettingsStore::ReadStatus::WrongType) {
            boxes.showError(InvalidDataTypeText(name));
            continue;
        }
        if (result.status != SettingsStore::ReadStatus::Ok) {
            continue;
        }
        if (i == SoundDeviceIndex && (result.value < 0 || result.value > MaxStoredSoundDevice)) {
            continue;
        }
        StoredField(state, i) = result.value;
    }
    const QString nameValue = QString::fromLatin1(SoundDeviceNameValue);
    const SettingsStore::TextResult name = store.readText(nameValue);
    if (name.status == SettingsStore::ReadStatus::WrongType) {
        boxes.showError(InvalidDataTypeText(nameValue));
    } else if (name.status == SettingsStore::ReadStatus::Ok) {
        state.Device.SoundDeviceName = StoredDeviceName(name.value.toStdString());
    }
    store.close();
}

bool SaveSettings(SettingsStore& store, const CalibrationState& state, std::int32_t selectedDevice,
                  MessageBoxes& boxes) {
    // A store that cannot be opened is a failed save like any other: the user must not be told
    // that the calibration was kept when it was not.
    if (!store.open()) {
        boxes.showError(FailedToSetDataText(QString::fromLatin1(StoredValueNames.front())));
        return false;
    }
    CalibrationState values = state;
    for (std::size_t i = 0; i < StoredValueNames.size(); ++i) {
        const QString name = QString::fromLatin1(StoredValueNames[i]);
        const std::int32_t value = i == SoundDeviceIndex ? selectedDevice : StoredField(values, i);
        if (!store.writeInteger(name, value)) {
            boxes.showError(FailedToSetDataText(name));
            store.close();
            return false;
        }
    }
    const QString nameValue = QString::fromLatin1(SoundDeviceNameValue);
    if (!store.writeText(nameValue,
                         QString::fromStdString(StoredDeviceName(state.Device.SoundDeviceName)))) {
        boxes.showError(FailedToSetDataText(nameValue));
        store.close();
        return false;
    }
    store.close();
    return true;
}

void LoadCalibrationAtStartup(SettingsStore& store, CalibrationState& state, MessageBoxes& boxes) {
    ApplyStartupDefaults(state);
    LoadSettings(store, state, boxes);
    DeriveCalFactors(state);
}

}  // namespace veruziva
