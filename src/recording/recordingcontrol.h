#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <span>

#include "recording/capturedefinition.h"
#include "recording/csvwriter.h"
#include "recording/wavwriter.h"

namespace veruziva {

class MessageBoxes;

namespace recordingmessages {
inline constexpr const char* NotSaved = "O.K. Data will not be saved.";
QString SizeQuestion(std::uint32_t wavDataSize);
QString ContinualStalled(const QString& file, double recordedSeconds, double elapsedSeconds);
QString SampledStalled(const QString& file, std::uint32_t rowsLeftOut, std::uint32_t periods);
}  // namespace recordingmessages

// The recording timer of the main window.
class RecordingTimer {
public:
    virtual ~RecordingTimer();
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
};

// What the recording reads from and does to the window.
struct RecordingHooks {
    std::function<bool()> running;               // the capture is running
    std::function<void()> startStopClick;        // toggles the capture
    std::function<void(bool)> recordingChanged;  // "Stop saving" / "Start saving", record type lock
    std::function<QString()> readingA;           // the readout texts, as shown
    std::function<QString()> readingB;
    std::function<QString()> decimalSeparator;
    // A monotonic clock in milliseconds (the steady clock when not given).
    std::function<std::int64_t()> clockMs;
};

// A continual recording ends with its last planned byte, which comes with the block after
// the capturing time; its timer only ends a recording whose input has stalled, this long
// after the capturing time.
inline constexpr int ContinualGraceMs = 1000;

// What decides a sampled recording's unit letters at its start.
struct ReadoutUnits {
    bool calibratedA = false;  // A reads in volts or amperes
    bool calibratedB = false;
    bool ampereA = false;  // "3 A" down for A
    bool ampereB = false;
};

// The recording control shared by both kinds: start, stop and cancel of the Saving button, the
// timer's ticks, the end of a recording, and the continual recording's blocks.
class RecordingControl {
public:
    RecordingControl(MessageBoxes& boxes, RecordingTimer& timer, RecordingHooks hooks);
    ~RecordingControl();

    // A sampled recording named "-" goes to standard output (the meter tool); otherwise "-"
    // is a file name like any other.
    void setDashIsStandardOutput(bool dash) { m_dashIsStandardOutput = dash; }

    // The Saving button.
    void SavingClick(const CaptureDefinition& definition, ReadoutUnits units);
    // The recording timer's tick.
    void MyTimerTimer();
    // A block from the buffer-done handler, before any other use of it; taken only while a
    // continual recording runs, which ends with the block that completes its planned size.
    void AppendBlock(std::span<const std::byte> bytes);
    // Ends a running recording now, its file complete (the window closing, the device lost).
    void EndRecording();
    // A block has been measured: the readouts are fresh. A sampled row is written only for a
    // period in which they were; a period without one (the input stalled) leaves its row out.
    void BlockMeasured() { m_fresh = true; }
    // The input has delivered nothing for a while: a recording running now holds less than
    // the time it covers, and says so when it ends.
    void InputStalled();

    bool SavingActive() const { return m_savingActive; }
    bool RecordingContinual() const {
        return m_savingActive && m_recordType == CaptureDefinition::Continual;
    }
    std::uint32_t SavedCount() const;
    std::uint32_t SampleRows() const { return m_sampleRows; }
    char UnitLetterA() const { return m_unitA; }
    char UnitLetterB() const { return m_unitB; }

private:
    void start(const CaptureDefinition& definition, ReadoutUnits units);
    bool startContinual(const CaptureDefinition& definition, std::uint32_t seconds);
    void startSampled(const CaptureDefinition& definition, std::uint32_t seconds,
                      ReadoutUnits units);
    void cancel();
    void writeRow();
    void closeFile();
    // Ends the recording after a write error, keeping the capture running.
    void abandon();
    void setRecording(bool recording);
    // The capture stops with the recording, unless the user has stopped it meanwhile.
    void stopCapture();
    std::int64_t nowMs() const;
    // After a recording that the input stalled in: what its file lacks.
    void reportStall();

    MessageBoxes& m_boxes;
    RecordingTimer& m_timer;
    RecordingHooks m_hooks;
    bool m_savingActive = false;
    int m_recordType = CaptureDefinition::Sampled;
    WavWriter m_wav;
    CsvWriter m_csv;
    int m_intervalMs = 0;
    std::uint32_t m_sampleRows = 0;
    std::uint32_t m_rows = 0;
    bool m_fresh = false;
    QString m_fileName;
    std::int64_t m_startedMs = 0;
    bool m_stalled = false;
    std::uint32_t m_rowsLeftOut = 0;
    bool m_dashIsStandardOutput = false;
    char m_unitA = ' ';
    char m_unitB = ' ';
};

}  // namespace veruziva
