#include "calibration/storedsettings.h"

#include <QDateTime>
#include <cmath>
#include <optional>

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

QString RangeInName(int range) {
    static constexpr std::array<const char*, RangeCount> Names{"0.3V", "3.0V", "30 V", "3.0A"};
    return QString::fromLatin1(Names[static_cast<std::size_t>(range - FirstRange)]);
}

QString SideInName(Side side) {
    return side == Side::Left ? QStringLiteral("left") : QStringLiteral("right");
}

QString MethodText(CalibrationMethod method) {
    return method == CalibrationMethod::Ac ? QStringLiteral("AC") : QStringLiteral("DC");
}

// A text value, or nothing; one of the wrong type is reported.
std::optional<QString> ReadText(SettingsStore& store, const QString& name, MessageBoxes& boxes) {
    const SettingsStore::TextResult result = store.readText(name);
    if (result.status == SettingsStore::ReadStatus::WrongType) {
        boxes.showError(InvalidDataTypeText(name));
    }
    if (result.status != SettingsStore::ReadStatus::Ok) {
        return std::nullopt;
    }
    return result.value;
}

void LoadRangeCalibration(SettingsStore& store, CalibrationState& state, int range, Side side,
                          MessageBoxes& boxes) {
    if (const auto text = ReadText(store, AcFactorValueName(range, side), boxes)) {
        bool ok = false;
        const double factor = text->trimmed().toDouble(&ok);
        if (ok && std::isfinite(factor) && factor > 0.0) {
            FactorOf(state.AcFactor[range], side) = factor;
        } else {
            boxes.showError(InvalidDataTypeText(AcFactorValueName(range, side)));
        }
    }
    RangeCalibration made;
    if (const auto text = ReadText(store, MethodValueName(range, side), boxes)) {
        if (*text == QLatin1String("DC")) {
            made.method = CalibrationMethod::Dc;
        } else if (*text == QLatin1String("AC")) {
            made.method = CalibrationMethod::Ac;
        } else {
            boxes.showError(InvalidDataTypeText(MethodValueName(range, side)));
        }
    }
    if (const auto text = ReadText(store, MadeAtValueName(range, side), boxes)) {
        const QDateTime when = QDateTime::fromString(*text, Qt::ISODate);
        made.madeAtMs = when.isValid() ? when.toMSecsSinceEpoch() : 0;
    }
    if (const auto text = ReadText(store, MadeOnValueName(range, side), boxes)) {
        made.device = StoredDeviceName(text->toStdString());
    }
    MadeOf(state.Made[range], side) = made;
}

void LoadRanges(SettingsStore& store, CalibrationState& state, MessageBoxes& boxes) {
    std::array<int, 2> ranges{};
    for (std::size_t i = 0; i < 2; ++i) {
        const QString name = QString::fromLatin1(i == 0 ? RangeLeftValue : RangeRightValue);
        const SettingsStore::ReadResult result = store.readInteger(name);
        if (result.status == SettingsStore::ReadStatus::WrongType) {
            boxes.showError(InvalidDataTypeText(name));
        }
        if (result.status != SettingsStore::ReadStatus::Ok || result.value < FirstRange ||
            result.value > LastRange) {
            return;
        }
        ranges[i] = result.value;
    }
    state.StoredRanges = RangeSelection{ranges[0], ranges[1]};
}

void LoadSampleClock(SettingsStore& store, CalibrationState& state, MessageBoxes& boxes) {
    const QString name = QString::fromLatin1(SampleClockValue);
    if (const auto text = ReadText(store, name, boxes)) {
        bool ok = false;
        const double ppm = text->trimmed().toDouble(&ok);
        if (ok && std::isfinite(ppm) && std::abs(ppm) <= MaxStoredClockPpm) {
            state.SampleClockPpm = ppm;
        } else {
            boxes.showError(InvalidDataTypeText(name));
        }
    }
}

// Each write in order; the first that fails is reported and ends the save.
class Writer {
public:
    Writer(SettingsStore& store, MessageBoxes& boxes) : m_store(store), m_boxes(boxes) {}
    bool integer(const QString& name, std::int32_t value) {
        return check(name, m_ok && m_store.writeInteger(name, value));
    }
    bool text(const QString& name, const QString& value) {
        return check(name, m_ok && m_store.writeText(name, value));
    }
    bool ok() const { return m_ok; }

private:
    bool check(const QString& name, bool written) {
        if (m_ok && !written) {
            m_boxes.showError(FailedToSetDataText(name));
            m_ok = false;
        }
        return m_ok;
    }
    SettingsStore& m_store;
    MessageBoxes& m_boxes;
    bool m_ok = true;
};

void WriteRangeCalibrations(Writer& writer, const CalibrationState& state) {
    for (int r = FirstRange; r <= LastRange && writer.ok(); ++r) {
        for (const Side side : {Side::Left, Side::Right}) {
            const RangeCalibration& made = MadeOf(state.Made[r], side);
            if (made.method == CalibrationMethod::None) {
                continue;  // what is stored for it stays
            }
            const double ac = FactorOf(state.AcFactor[r], side);
            if (ac > 0.0) {
                writer.text(AcFactorValueName(r, side), QString::number(ac, 'g', 17));
            }
            writer.text(MethodValueName(r, side), MethodText(made.method));
            writer.text(
                MadeAtValueName(r, side),
                made.madeAtMs > 0
                    ? QDateTime::fromMSecsSinceEpoch(made.madeAtMs, Qt::UTC).toString(Qt::ISODate)
                    : QString());
            writer.text(MadeOnValueName(r, side), QString::fromStdString(made.device));
        }
    }
}

// A file of an earlier version records no method for its DC ranges: they were made on the
// device the file names, which a calibration with a sine may now change. Each is recorded so
// first, so that it does not pass for a calibration of the new device.
void RecordDcRangesOfEarlierFiles(SettingsStore& store, Writer& writer) {
    for (int r = FirstRange; r <= LastRange; ++r) {
        const QString name =
            QString::fromLatin1(StoredValueNames[5 + static_cast<std::size_t>(r - FirstRange)]);
        const SettingsStore::ReadResult value = store.readInteger(name);
        if (value.status != SettingsStore::ReadStatus::Ok || value.value == 0) {
            return;  // no DC calibration of all four ranges: none in force
        }
    }
    const SettingsStore::TextResult device =
        store.readText(QString::fromLatin1(SoundDeviceNameValue));
    const QString deviceName =
        device.status == SettingsStore::ReadStatus::Ok ? device.value : QString();
    for (int r = FirstRange; r <= LastRange; ++r) {
        for (const Side side : {Side::Left, Side::Right}) {
            if (store.readText(MethodValueName(r, side)).status ==
                SettingsStore::ReadStatus::Missing) {
                writer.text(MethodValueName(r, side), MethodText(CalibrationMethod::Dc));
                writer.text(MadeAtValueName(r, side), QString());
                writer.text(MadeOnValueName(r, side), deviceName);
            }
        }
    }
}

}  // namespace

QString AcFactorValueName(int range, Side side) {
    return QStringLiteral("AC factor %1 %2").arg(RangeInName(range), SideInName(side));
}

QString MethodValueName(int range, Side side) {
    return QStringLiteral("Calibration %1 %2").arg(RangeInName(range), SideInName(side));
}

QString MadeAtValueName(int range, Side side) {
    return QStringLiteral("Calibration time %1 %2").arg(RangeInName(range), SideInName(side));
}

QString MadeOnValueName(int range, Side side) {
    return QStringLiteral("Calibration device %1 %2").arg(RangeInName(range), SideInName(side));
}

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
    for (int r = FirstRange; r <= LastRange; ++r) {
        for (const Side side : {Side::Left, Side::Right}) {
            LoadRangeCalibration(store, state, r, side, boxes);
        }
    }
    LoadRanges(store, state, boxes);
    LoadSampleClock(store, state, boxes);
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
    Writer writer(store, boxes);
    WriteRangeCalibrations(writer, state);
    store.close();
    return writer.ok();
}

bool SaveAcCalibration(SettingsStore& store, const CalibrationState& state,
                       std::int32_t selectedDevice, MessageBoxes& boxes) {
    if (!store.open()) {
        boxes.showError(FailedToSetDataText(QString::fromLatin1(StoredValueNames.front())));
        return false;
    }
    Writer writer(store, boxes);
    RecordDcRangesOfEarlierFiles(store, writer);
    writer.integer(QString::fromLatin1(StoredValueNames[0]), selectedDevice);
    writer.integer(QString::fromLatin1(StoredValueNames[1]), state.Device.MixerIndex);
    writer.integer(QString::fromLatin1(StoredValueNames[2]), state.Device.LineIn);
    writer.text(QString::fromLatin1(SoundDeviceNameValue),
                QString::fromStdString(StoredDeviceName(state.Device.SoundDeviceName)));
    WriteRangeCalibrations(writer, state);
    store.close();
    return writer.ok();
}

bool SaveRanges(SettingsStore& store, RangeSelection ranges, MessageBoxes& boxes) {
    if (!store.open()) {
        boxes.showError(FailedToSetDataText(QString::fromLatin1(RangeLeftValue)));
        return false;
    }
    Writer writer(store, boxes);
    writer.integer(QString::fromLatin1(RangeLeftValue), ranges.a);
    writer.integer(QString::fromLatin1(RangeRightValue), ranges.b);
    store.close();
    return writer.ok();
}

bool SaveSampleClock(SettingsStore& store, double ppm, MessageBoxes& boxes) {
    const QString name = QString::fromLatin1(SampleClockValue);
    if (!store.open()) {
        boxes.showError(FailedToSetDataText(name));
        return false;
    }
    Writer writer(store, boxes);
    writer.text(name, QString::number(ppm, 'g', 17));
    store.close();
    return writer.ok();
}

void LoadCalibrationAtStartup(SettingsStore& store, CalibrationState& state, MessageBoxes& boxes) {
    ApplyStartupDefaults(state);
    LoadSettings(store, state, boxes);
    DeriveCalFactors(state);
    ApplyRangeCalibrations(state);
}

}  // namespace veruziva
