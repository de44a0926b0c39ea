#include "recording/recordingcontrol.h"

#include <chrono>
#include <limits>

#include "measurement/numberformat.h"
#include "platform/captureformat.h"
#include "platform/messageboxes.h"
#include "platform/runtimeerror.h"

namespace veruziva {

RecordingTimer::~RecordingTimer() = default;

namespace recordingmessages {
QString SizeQuestion(std::uint32_t wavDataSize) {
    return QStringLiteral("The size of the WAV file will be %1kB. Proceed?")
        .arg(wavDataSize / 1024);
}
QString ContinualStalled(const QString& file, double recordedSeconds, double elapsedSeconds) {
    return QStringLiteral(
               "The input device delivered nothing for a while during the recording: %1 holds "
               "%2 s of signal recorded over %3 s, its parts joined where the input stopped.")
        .arg(file)
        .arg(recordedSeconds, 0, 'f', 1)
        .arg(elapsedSeconds, 0, 'f', 1);
}
QString SampledStalled(const QString& file, std::uint32_t rowsLeftOut, std::uint32_t periods) {
    return QStringLiteral(
               "The input device delivered nothing for a while during the recording: %1 has no "
               "row for %2 of its %3 sampling periods.")
        .arg(file)
        .arg(rowsLeftOut)
        .arg(periods);
}
}  // namespace recordingmessages

RecordingControl::RecordingControl(MessageBoxes& boxes, RecordingTimer& timer, RecordingHooks hooks)
    : m_boxes(boxes), m_timer(timer), m_hooks(std::move(hooks)) {}

RecordingControl::~RecordingControl() {
    try {
        EndRecording();
    } catch (const RuntimeError&) {
        // Leaving: nothing more can be done about the file.
    }
}

std::uint32_t RecordingControl::SavedCount() const {
    return m_recordType == CaptureDefinition::Continual ? m_wav.savedCount() : m_rows;
}

void RecordingControl::setRecording(bool recording) {
    m_savingActive = recording;
    if (m_hooks.recordingChanged) {
        m_hooks.recordingChanged(recording);
    }
}

void RecordingControl::stopCapture() {
    if (m_hooks.running && m_hooks.running() && m_hooks.startStopClick) {
        m_hooks.startStopClick();
    }
}

std::int64_t RecordingControl::nowMs() const {
    if (m_hooks.clockMs) {
        return m_hooks.clockMs();
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void RecordingControl::InputStalled() {
    if (m_savingActive) {
        m_stalled = true;
    }
}

void RecordingControl::reportStall() {
    if (!m_stalled) {
        return;
    }
    m_stalled = false;
    if (m_recordType == CaptureDefinition::Continual) {
        const double recorded = static_cast<double>(m_wav.savedCount()) / BytesPerSecond;
        const double elapsed = static_cast<double>(nowMs() - m_startedMs) / 1000.0;
        m_boxes.showMessage(recordingmessages::ContinualStalled(m_fileName, recorded, elapsed));
    } else if (m_rowsLeftOut > 0) {
        m_boxes.showMessage(recordingmessages::SampledStalled(m_fileName, m_rowsLeftOut, m_rows));
    }
}

void RecordingControl::SavingClick(const CaptureDefinition& definition, ReadoutUnits units) {
    try {
        if (m_savingActive) {
            EndRecording();
        } else {
            start(definition, units);
        }
    } catch (const RuntimeError& error) {
        // The general error handler's box; the action stops here.
        m_boxes.showError(QString::fromStdString(error.what()));
    }
}

void RecordingControl::start(const CaptureDefinition& definition, ReadoutUnits units) {
    if (m_hooks.running && !m_hooks.running() && m_hooks.startStopClick) {
        m_hooks.startStopClick();
        if (!m_hooks.running()) {
            return;  // the capture could not start, and has said why: nothing to record
        }
    }
    const std::uint32_t seconds = CaptureSeconds(definition.captureTime, definition.timeMeasure);
    m_recordType = definition.recordType;
    if (definition.recordType == CaptureDefinition::Continual) {
        if (!startContinual(definition, seconds)) {
            return;
        }
    } else {
        startSampled(definition, seconds, units);
    }
    m_fileName = definition.nameOfFile;
    m_startedMs = nowMs();
    m_stalled = false;
    m_rowsLeftOut = 0;
    m_timer.start(m_intervalMs);
    setRecording(true);
}

bool RecordingControl::startContinual(const CaptureDefinition& definition, std::uint32_t seconds) {
    const std::uint64_t size = std::uint64_t{seconds} * static_cast<std::uint64_t>(BytesPerSecond);
    if (size > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        throw IntegerOverflowError();
    }
    const auto wavDataSize = static_cast<std::uint32_t>(size);
    if (m_boxes.confirm(recordingmessages::SizeQuestion(wavDataSize), ConfirmButtons::OkCancel) !=
        Answer::Ok) {
        cancel();
        return false;
    }
    m_wav.create(definition.nameOfFile, wavDataSize);
    m_intervalMs = static_cast<int>(seconds * 1000) + ContinualGraceMs;
    return true;
}

void RecordingControl::startSampled(const CaptureDefinition& definition, std::uint32_t seconds,
                                    ReadoutUnits units) {
    m_unitA = units.calibratedA ? (units.ampereA ? 'A' : 'V') : ' ';
    m_unitB = units.calibratedB ? (units.ampereB ? 'A' : 'V') : ' ';
    if (m_dashIsStandardOutput && definition.nameOfFile == QLatin1String("-")) {
        m_csv.createOnStandardOutput(m_unitA, m_unitB);
    } else {
        m_csv.create(definition.nameOfFile, m_unitA, m_unitB);
    }
    m_intervalMs = SamplingInterval(definition.samplingPeriod);
    // A capturing time shorter than one period still writes its one row.
    m_sampleRows = std::max<std::uint32_t>(
        1, static_cast<std::uint32_t>(std::uint64_t{seconds} * 1000 /
                                      static_cast<std::uint64_t>(m_intervalMs)));
    m_rows = 0;
    m_fresh = false;  // the readouts on show were measured before the start
}

void RecordingControl::cancel() {
    m_boxes.showMessage(QString::fromLatin1(recordingmessages::NotSaved));
    setRecording(false);
    stopCapture();
}

void RecordingControl::closeFile() {
    if (m_recordType == CaptureDefinition::Continual) {
        m_wav.close();
    } else {
        m_csv.close();
    }
}

void RecordingControl::EndRecording() {
    if (!m_savingActive) {
        return;
    }
    m_timer.stop();
    setRecording(false);
    stopCapture();
    closeFile();
    reportStall();
}

void RecordingControl::MyTimerTimer() {
    if (!m_savingActive) {
        return;
    }
    try {
        if (m_recordType == CaptureDefinition::Continual) {
            EndRecording();
        } else {
            writeRow();
        }
    } catch (const RuntimeError& error) {
        abandon();
        m_boxes.showError(QString::fromStdString(error.what()));
    }
}

void RecordingControl::abandon() {
    // The recording is over before its box is shown, so that no tick or block writes to the
    // failed file while the box is open; the capture goes on.
    m_timer.stop();
    setRecording(false);
    try {
        closeFile();
    } catch (const RuntimeError&) {
        // The first error is the one reported.
    }
}

void RecordingControl::writeRow() {
    ++m_rows;
    if (m_fresh) {
        m_fresh = false;
        const QString locale =
            m_hooks.decimalSeparator ? m_hooks.decimalSeparator() : QStringLiteral(".");
        const QString separator = FileDecimalSeparator(locale);
        QString a = RowReading(m_hooks.readingA ? m_hooks.readingA() : QString());
        QString b = RowReading(m_hooks.readingB ? m_hooks.readingB() : QString());
        if (separator != locale) {
            a.replace(locale, separator);
            b.replace(locale, separator);
        }
        const double time = static_cast<double>(m_intervalMs) * m_rows / 1000.0;
        m_csv.row(QString::fromStdString(FormatGeneral(time, separator.toStdString())), a, b);
    } else {
        ++m_rowsLeftOut;
    }
    if (m_rows == m_sampleRows) {
        EndRecording();
    }
}

void RecordingControl::AppendBlock(std::span<const std::byte> bytes) {
    if (!RecordingContinual()) {
        return;
    }
    try {
        m_wav.append(bytes);
        if (m_wav.savedCount() == m_wav.plannedSize()) {
            EndRecording();
        }
    } catch (const RuntimeError& error) {
        // Shown once: the recording ends with its file closed and its header true.
        abandon();
        m_boxes.showError(QString::fromStdString(error.what()));
    }
}

}  // namespace veruziva
