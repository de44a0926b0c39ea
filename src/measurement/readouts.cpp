#include "measurement/readouts.h"

#include "measurement/numberformat.h"

namespace veruziva {
namespace {

ChannelReadout ChannelText(const ChannelMeasurement& measurement, const ChannelDisplay& display,
                           std::string_view decimalSeparator) {
    ChannelReadout readout;
    for (std::size_t i = 0; i < ReadingCount; ++i) {
        readout.values[i] = ReadingValue(Readings[i], measurement, display);
        readout.texts[i] =
            ReadingValueText(Readings[i], readout.values[i], display, decimalSeparator);
    }
    readout.reading = readout.values[IndexOfMean];
    readout.readingText = readout.texts[IndexOfMean];
    readout.frequencyText = readout.texts[IndexOfFrequency];
    readout.barPosition = measurement.barPosition;
    readout.rms = readout.values[IndexOfRms];
    readout.rmsText = readout.texts[IndexOfRms];
    readout.overloaded = measurement.overloaded;
    return readout;
}

}  // namespace

std::string ReadingText(double reading, const ChannelDisplay& display,
                        std::string_view decimalSeparator) {
    std::string text = FormatFixed(reading, display.precision, display.decimals, decimalSeparator);
    text += display.unitLetter;
    text += ' ';
    return text;
}

std::string FrequencyText(std::optional<double> frequency, std::string_view decimalSeparator) {
    if (!frequency) {
        return "0 ";
    }
    return FormatGeneral(*frequency, decimalSeparator) + ' ';
}

double Reading(const ChannelMeasurement& measurement, const ChannelDisplay& display) {
    return ReadingValue(Readings[IndexOfMean], measurement, display);
}

double RmsReading(const ChannelMeasurement& measurement, const ChannelDisplay& display) {
    return ReadingValue(Readings[IndexOfRms], measurement, display);
}

void ShowMeasurement(Readouts& readouts, const BlockMeasurement& measurement,
                     const DisplayParameters& display, std::string_view decimalSeparator) {
    readouts.a = ChannelText(measurement.a, display.a, decimalSeparator);
    readouts.b = ChannelText(measurement.b, display.b, decimalSeparator);
}

}  // namespace veruziva
