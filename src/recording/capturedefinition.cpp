#include "recording/capturedefinition.h"

#include <algorithm>

#include "measurement/numberformat.h"
#include "platform/runtimeerror.h"

namespace veruziva {

std::uint32_t CaptureSeconds(const QString& captureTime, int timeMeasure) {
    const double rounded = RoundHalfEven(TextToNumber(captureTime.toStdString()));
    const double limited = std::clamp(rounded, 1.0, static_cast<double>(MaxCaptureTime));
    const std::uint32_t factor = timeMeasure == 1 ? 60 : 1;
    return static_cast<std::uint32_t>(limited) * factor;
}

int SamplingInterval(int samplingPeriod) {
    if (samplingPeriod < 0 || samplingPeriod >= static_cast<int>(SamplingPeriods.size())) {
        throw RangeCheckError();
    }
    return SamplingPeriods[static_cast<std::size_t>(samplingPeriod)].intervalMs;
}

}  // namespace veruziva
