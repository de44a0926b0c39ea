#pragma once

#include <QString>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "base/filemetadata.h"
#include "calibration/calibrationstate.h"
#include "instrument/blockhandler.h"
#include "measurement/displayparameters.h"
#include "measurement/oscilloscope.h"
#include "measurement/readouts.h"
#include "meteroptions.h"

namespace veruziva::meter {

// The tool's view of the blocks the block handler measures: the display and pass settings of
// the options, one line per block, and the picture of the requested block.
class BlockPrinter : public BlockView {
public:
    BlockPrinter(const Options& options, std::FILE* err);

    BlockSettings blockSettings() override;
    void blockMeasured(std::span<const StereoFrame> frames, const Readouts& readouts) override;

    // Loads the calibration named in the options; a message when its file cannot be read.
    std::optional<QString> loadCalibration();

    // The first line: the columns of each block's line.
    std::string header() const;
    // The lines of the blocks measured since the last call.
    std::string takeLines() { return std::exchange(m_lines, {}); }

    long long blocksMeasured() const { return m_block; }
    const Readouts& readouts() const { return m_readouts; }
    const CalibrationState& state() const { return m_state; }
    const DisplayParameters& display() const { return m_display; }
    RangeSelection ranges() const { return m_ranges; }
    // The board's range of channel A (0) or B (1) changed: blocks from now on are measured in
    // its unit and calibration.
    void setRange(int channel, int range);
    // Per channel (A, B): reads in volts or amperes.
    std::array<bool, 2> calibratedChannels() const;
    // After the last block: a message when the picture was asked for and not drawn.
    std::optional<QString> missingPicture() const;
    // Saves the picture, when asked for; false when it cannot be written.
    bool savePicture() const;
    // What the blocks come from, for the pictures: the recording's file name or the device's.
    void setSource(QString source) { m_source = std::move(source); }
    // What a picture was measured with: the calibration and ranges of the options; the line-in
    // level is not looked at.
    FileMetadata metadata() const;

private:
    const Options& m_options;
    std::FILE* m_err;
    RangeSelection m_ranges;
    CalibrationState m_state;
    DisplayParameters m_display;
    PassSettings m_pass;
    Readouts m_readouts;
    std::string m_lines;
    Oscilloscope m_scope;
    QString m_source;
    bool m_pictureDrawn = false;
    long long m_block = 0;
};

// "veruziva-meter (Veruziva 0.1.0)": the program its pictures name.
QString ToolVersion();

// Writes text to a stream in the locale's encoding.
void Print(std::FILE* stream, const QString& text);

}  // namespace veruziva::meter
