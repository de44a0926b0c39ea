#include "blockprinter.h"

#include <QFileInfo>
#include <tuple>

#include "base/pngfile.h"
#include "calibration/accalibration.h"
#include "calibration/displaymode.h"
#include "calibration/filedescription.h"
#include "calibration/qsettingsstore.h"
#include "calibration/storedsettings.h"
#include "streammessageboxes.h"

namespace veruziva::meter {

void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

QString ToolVersion() {
    return QStringLiteral("veruziva-meter (Veruziva %1)").arg(ProgramVersion());
}

BlockPrinter::BlockPrinter(const Options& options, std::FILE* err)
    : m_options(options), m_err(err), m_ranges(options.ranges) {
    m_state.RawDisplay = true;
    m_display = DeriveDisplayParameters(m_state, m_ranges);
    m_pass = MakePassSettings(m_display, !m_options.dcA, !m_options.dcB);
}

std::optional<QString> BlockPrinter::loadCalibration() {
    if (!m_options.calibrationFile) {
        return std::nullopt;
    }
    const QString& path = *m_options.calibrationFile;
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        return QStringLiteral("cannot read calibration file %1").arg(path);
    }
    QSettingsStore store(path);
    StreamMessageBoxes boxes(m_err);
    LoadCalibrationAtStartup(store, m_state, boxes);
    // Each channel reads in its unit on a range that is calibrated, raw on one that is not.
    m_state.RawDisplay = !AnyRangeInForce(m_state);
    if (m_state.RawDisplay) {
        Print(m_err, QStringLiteral("veruziva-meter: %1 holds no complete calibration; readings "
                                    "are raw\n")
                         .arg(path));
    } else {
        const std::array<bool, 2> calibrated = ChannelsCalibrated(m_state, m_ranges);
        for (const auto& [channel, range, inForce] : {std::tuple{'A', m_ranges.a, calibrated[0]},
                                                      std::tuple{'B', m_ranges.b, calibrated[1]}}) {
            if (!inForce) {
                Print(m_err, QStringLiteral("veruziva-meter: %1 holds no calibration of channel "
                                            "%2's %3 range; it reads raw\n")
                                 .arg(path, QChar::fromLatin1(channel), RangeCaption(range)));
            }
        }
    }
    m_display = DeriveDisplayParameters(m_state, m_ranges);
    m_pass = MakePassSettings(m_display, !m_options.dcA, !m_options.dcB);
    return std::nullopt;
}

void BlockPrinter::setRange(int channel, int range) {
    (channel == 0 ? m_ranges.a : m_ranges.b) = range;
    m_display = DeriveDisplayParameters(m_state, m_ranges);
    m_pass = MakePassSettings(m_display, !m_options.dcA, !m_options.dcB);
}

BlockSettings BlockPrinter::blockSettings() {
    BlockSettings settings;
    settings.display = m_display;
    settings.pass = m_pass;
    if (m_options.scope && m_options.scope->block == m_block) {
        settings.scope = &m_scope;
        settings.scopeSettings = m_options.scope->settings;
    }
    return settings;
}

void BlockPrinter::blockMeasured(std::span<const StereoFrame> /*frames*/,
                                 const Readouts& readouts) {
    m_readouts = readouts;
    if (m_options.scope && m_options.scope->block == m_block) {
        m_pictureDrawn = true;
    }
    m_lines += std::to_string(m_block++);
    for (std::size_t i = 0; i < ReadingCount; ++i) {
        if (m_options.printed[i]) {
            for (const ChannelReadout* channel : {&readouts.a, &readouts.b}) {
                m_lines += ';';
                m_lines += ReadoutText(readouts, *channel, i);
            }
        }
    }
    m_lines += '\n';
}

std::string BlockPrinter::header() const {
    std::string header = "block";
    for (std::size_t i = 0; i < ReadingCount; ++i) {
        if (m_options.printed[i]) {
            for (const char channel : {'A', 'B'}) {
                header += ';';
                header += Readings[i].column;
                header += channel;
            }
        }
    }
    return header + '\n';
}

std::array<bool, 2> BlockPrinter::calibratedChannels() const {
    return {m_display.a.calibrated, m_display.b.calibrated};
}

std::optional<QString> BlockPrinter::missingPicture() const {
    if (!m_options.scope || m_pictureDrawn) {
        return std::nullopt;
    }
    return QStringLiteral("there is no block %1: the recording has %2 block(s)")
        .arg(m_options.scope->block)
        .arg(m_block);
}

bool BlockPrinter::savePicture() const {
    if (!m_options.scope) {
        return true;
    }
    try {
        SavePng(m_scope.image(), m_options.scope->output, metadata());
    } catch (const RuntimeError& error) {
        Print(m_err, QStringLiteral("veruziva-meter: cannot write the picture %1: %2\n")
                         .arg(m_options.scope->output, QString::fromUtf8(error.what())));
        return false;
    }
    return true;
}

FileMetadata BlockPrinter::metadata() const {
    MeasurementContext context;
    context.program = ToolVersion();
    context.device = m_source;
    context.ranges = m_ranges;
    context.rawDisplay = m_state.RawDisplay;
    return DescribeMeasurement(m_state, context);
}

}  // namespace veruziva::meter
