#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace veruziva {

// How the next recording is made: what the capture definition dialog holds.
struct CaptureDefinition {
    enum RecordType { Continual = 0, Sampled = 1 };
    int recordType = Sampled;
    int samplingPeriod = 0;  // index into SamplingPeriods
    QString captureTime = QStringLiteral("1");
    int timeMeasure = 0;  // 0 "s", 1 "min"
    QString nameOfFile = QStringLiteral("captured.csv");
};

struct SamplingPeriod {
    const char* item;
    int intervalMs;
};

inline constexpr std::array<SamplingPeriod, 8> SamplingPeriods{{{"1/4 s", 250},
                                                                {"1/2 s", 500},
                                                                {"1 s", 1000},
                                                                {"15 s", 15000},
                                                                {"1 min.", 60000},
                                                                {"5 min.", 300000},
                                                                {"15 min.", 900000},
                                                                {"1 hod.", 3600000}}};

inline constexpr int MaxCaptureTime = 9999;

// The capturing time in seconds: the text read with TextToNumber, rounded half to even, kept
// within 1 to 9999, times 60 for the unit "min".
std::uint32_t CaptureSeconds(const QString& captureTime, int timeMeasure);

// The timer interval of a sampling period index.
int SamplingInterval(int samplingPeriod);

}  // namespace veruziva
