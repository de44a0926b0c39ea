#include "measurement/readouts.h"

#include "measurement/numberformat.h"

namespace veruziva {
namespace {

ChannelReadout ChannelText(const ChannelMeasurement& measurement, const ChannelDisplay& display,
                           std::string_view decimalSeparator) {
    ChannelReadout readout;
    readout.reading = Reading(measurement, display);
    readout.readingText = ReadingText(readout.reading, display, decimalSeparator);
    readout.frequencyText = FrequencyText(measurement.frequency, decimalSeparator);
    readout.barPosition = measurement.barPosition;
    readout.rms = RmsReading(measurement, display);
    readout.rmsText = ReadingText(readout.rms, display, decimalSeparator);
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
    const auto mean = static_cast<double>(measurement.mean);
    return display.calibrated ? mean * display.factor : mean;
}

double RmsReading(const ChannelMeasurement& measurement, const ChannelDisplay& display) {
    return display.calibrated ? measurement.acRms * display.factor : measurement.acRms;
}

void ShowMeasurement(Readouts& readouts, const BlockMeasurement& measurement,
                     const DisplayParameters& display, std::string_view decimalSeparator) {
    readouts.a = ChannelText(measurement.a, display.a, decimalSeparator);
    readouts.b = ChannelText(measurement.b, display.b, decimalSeparator);
}

}  // namespace veruziva
