#include "measurement/readings.h"

#include "measurement/readouts.h"

namespace veruziva {

double ReadingValue(const ReadingDescriptor& reading, const ChannelMeasurement& measurement,
                    const ChannelDisplay& display) {
    const double value = reading.measure(measurement);
    return reading.unit == UnitRule::Scaled && display.calibrated ? value * display.factor : value;
}

std::string ReadingValueText(const ReadingDescriptor& reading, double value,
                             const ChannelDisplay& display, std::string_view decimalSeparator) {
    switch (reading.unit) {
        case UnitRule::Scaled:
            return ReadingText(value, display, decimalSeparator);
        case UnitRule::Hertz:
            // A clear AC box measures no frequency: 0, written as the window writes that.
            return FrequencyText(value, decimalSeparator);
        case UnitRule::Whole:
            break;
    }
    return std::to_string(static_cast<long long>(value));
}

}  // namespace veruziva
