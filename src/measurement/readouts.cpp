#include "measurement/readouts.h"

#include "measurement/numberformat.h"

namespace veruziva {
namespace {

ChannelReadout ChannelText(const ChannelMeasurement& measurement, const ChannelDisplay& display,
                           std::string_view decimalSeparator) {
    ChannelReadout readout;
    for (std::size_t i = 0; i < ReadingCount; ++i) {
        readout.values[i] = ReadingValue(Readings[i], measurement, display);
    }
    readout.display = display;
    const auto text = [&](std::size_t i) {
        return ReadingValueText(Readings[i], readout.values[i], display, decimalSeparator);
    };
    readout.reading = readout.values[IndexOfMean];
    readout.readingText = text(IndexOfMean);
    readout.frequencyText = text(IndexOfFrequency);
    readout.barPosition = measurement.barPosition;
    readout.rms = readout.values[IndexOfRms];
    readout.rmsText = text(IndexOfRms);
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

std::string ReadoutText(const Readouts& readouts, const ChannelReadout& channel,
                        std::size_t reading) {
    return ReadingValueText(Readings[reading], channel.values[reading], channel.display,
                            readouts.decimalSeparator);
}

void ShowMeasurement(Readouts& readouts, const BlockMeasurement& measurement,
                     const DisplayParameters& display, std::string_view decimalSeparator) {
    readouts.decimalSeparator = decimalSeparator;
    readouts.a = ChannelText(measurement.a, display.a, decimalSeparator);
    readouts.b = ChannelText(measurement.b, display.b, decimalSeparator);
}

}  // namespace veruziva
