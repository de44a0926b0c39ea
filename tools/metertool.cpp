#include "metertool.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QLocale>
#include <optional>
#include <string>
#include <variant>

#include "calibration/displaymode.h"
#include "calibration/qsettingsstore.h"
#include "calibration/storedsettings.h"
#include "measurement/blockmeasurement.h"
#include "measurement/oscilloscope.h"
#include "measurement/readouts.h"
#include "measurement/triggercontrols.h"
#include "platform/messageboxes.h"
#include "wavreader.h"

namespace veruziva::meter {
namespace {

constexpr const char* Usage =
    "Usage: veruziva-meter [--dc a|b|ab] [--calibration FILE [--range A,B]]\n"
    "                      [--scope N OUT.png [--step 1|8] [--trigger a|b --level L]] FILE\n"
    "\n"
    "Measures a recording (16-bit stereo PCM at 44100 frames/s) block by block, as the\n"
    "instrument's readouts would show it, and prints one line per block of 4096 frames:\n"
    "\n"
    "    block;A;B;fA;fB;barA;barB\n"
    "\n"
    "the block number from 0, the two reading texts and the two frequency texts exactly as\n"
    "the window shows them (trailing blanks included), and the two level-bar positions\n"
    "(peak div 128). A final partial block is measured over the frames it holds.\n"
    "\n"
    "Options:\n"
    "  --dc a|b|ab          measure the named channels as DC (default: both AC)\n"
    "  --calibration FILE   read the calibration from a settings file of the program;\n"
    "                       a complete calibration gives calibrated readings\n"
    "  --range A,B          ranges of channels A and B, 1 to 4 (0.3 V, 3 V, 30 V, 3 A);\n"
    "                       default 1,1; needs --calibration\n"
    "  --scope N OUT.png    also draw the oscilloscope picture of block N (from 0) into\n"
    "                       OUT.png, exactly as the window draws it\n"
    "  --step 1|8           frames per pixel column of the picture (default 1)\n"
    "  --trigger a|b        trigger the picture on channel A or B (default: no trigger)\n"
    "  --level L            trigger level in raw units, 0 to 16000 (default 0); needs\n"
    "                       --trigger\n"
    "  -h, --help           show this text\n"
    "\n"
    "The decimal separator follows the locale (LC_NUMERIC).\n"
    "Exit status: 0 success, 1 results or picture could not be written, 2 bad usage or\n"
    "unreadable input.\n";

void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

int Fail(std::FILE* err, const QString& message) {
    Print(err, QStringLiteral("veruziva-meter: %1\n").arg(message));
    return ExitBadInput;
}

// Messages of the settings loading go to the error stream.
class StreamMessageBoxes : public MessageBoxes {
public:
    explicit StreamMessageBoxes(std::FILE* err) : m_err(err) {}
    void showMessage(const QString& text) override { report(text); }
    Answer confirm(const QString& text, ConfirmButtons buttons) override {
        report(text);
        return buttons == ConfirmButtons::YesNo ? Answer::No : Answer::Cancel;
    }
    void showError(const QString& text) override { report(text); }

private:
    void report(const QString& text) {
        Print(m_err, QStringLiteral("veruziva-meter: %1\n").arg(text));
    }
    std::FILE* m_err;
};

struct ScopeRequest {
    long long block = 0;
    QString output;
    ScopeSettings settings;
};

struct Options {
    bool dcA = false;
    bool dcB = false;
    std::optional<QString> calibrationFile;
    RangeSelection ranges;
    std::optional<ScopeRequest> scope;
    QString file;
};

std::optional<RangeSelection> ParseRanges(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2) {
        return std::nullopt;
    }
    bool okA = false;
    bool okB = false;
    const int a = parts[0].trimmed().toInt(&okA);
    const int b = parts[1].trimmed().toInt(&okB);
    if (!okA || !okB || a < FirstRange || a > LastRange || b < FirstRange || b > LastRange) {
        return std::nullopt;
    }
    return RangeSelection{a, b};
}

// The picture request: the block number, the output file (the first positional argument
// after the number) and the scope's settings.
std::variant<ScopeRequest, QString> ParseScope(const QString& blockText, QStringList& files,
                                               const QString& step, const QString& trigger,
                                               const QString& level) {
    ScopeRequest request;
    bool ok = false;
    request.block = blockText.toLongLong(&ok);
    if (!ok || request.block < 0) {
        return QStringLiteral("--scope takes a block number from 0, not '%1'").arg(blockText);
    }
    if (files.size() < 2) {
        return QStringLiteral("--scope needs a block number and a picture file: --scope N OUT.png");
    }
    request.output = files.takeFirst();
    if (!step.isEmpty()) {
        if (step != QLatin1String("1") && step != QLatin1String("8")) {
            return QStringLiteral("--step takes 1 or 8, not '%1'").arg(step);
        }
        request.settings.columnStep = step.toInt();
    }
    if (!level.isEmpty() && trigger.isEmpty()) {
        return QStringLiteral("--level needs --trigger");
    }
    if (!trigger.isEmpty()) {
        const QString source = trigger.toLower();
        if (source != QLatin1String("a") && source != QLatin1String("b")) {
            return QStringLiteral("--trigger takes a or b, not '%1'").arg(trigger);
        }
        // As after a click on "Trigger" and, for B, on the source button B.
        TriggerControls controls;
        controls.TriggerEnableClick();
        if (source == QLatin1String("b")) {
            controls.pressSourceB();
        }
        request.settings.triggerSourceAEnabled = controls.sourceAEnabled();
        request.settings.triggerSourceBEnabled = controls.sourceBEnabled();
        request.settings.triggerSourceADown = controls.sourceADown();
        request.settings.triggerSourceBDown = controls.sourceBDown();
        int levelValue = 0;  // the level bar's start-up position gives level 0
        if (!level.isEmpty()) {
            levelValue = level.toInt(&ok);
            if (!ok || levelValue < 0 || levelValue > TriggerLevelTop) {
                return QStringLiteral("--level takes a level from 0 to 16000, not '%1'").arg(level);
            }
        }
        request.settings.triggerLevelPositionA = TriggerLevelTop - levelValue;
        request.settings.triggerLevelPositionB = TriggerLevelTop - levelValue;
    }
    return request;
}

// Parses the arguments; a message on failure.
std::variant<Options, QString> ParseOptions(const QStringList& arguments, bool& help) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, {});
    const QCommandLineOption dcOption(QStringLiteral("dc"), {}, QStringLiteral("channels"));
    const QCommandLineOption calibrationOption(QStringLiteral("calibration"), {},
                                               QStringLiteral("file"));
    const QCommandLineOption rangeOption(QStringLiteral("range"), {}, QStringLiteral("A,B"));
    const QCommandLineOption scopeOption(QStringLiteral("scope"), {}, QStringLiteral("N"));
    const QCommandLineOption stepOption(QStringLiteral("step"), {}, QStringLiteral("1|8"));
    const QCommandLineOption triggerOption(QStringLiteral("trigger"), {}, QStringLiteral("a|b"));
    const QCommandLineOption levelOption(QStringLiteral("level"), {}, QStringLiteral("L"));
    parser.addOptions({helpOption, dcOption, calibrationOption, rangeOption, scopeOption,
                       stepOption, triggerOption, levelOption});
    if (!parser.parse(QStringList{QStringLiteral("veruziva-meter")} + arguments)) {
        return parser.errorText();
    }
    help = parser.isSet(helpOption);
    if (help) {
        return Options{};
    }
    Options options;
    if (parser.isSet(dcOption)) {
        const QString channels = parser.value(dcOption).toLower();
        if (channels != QLatin1String("a") && channels != QLatin1String("b") &&
            channels != QLatin1String("ab")) {
            return QStringLiteral("--dc takes a, b or ab, not '%1'").arg(parser.value(dcOption));
        }
        options.dcA = channels.contains(QLatin1Char('a'));
        options.dcB = channels.contains(QLatin1Char('b'));
    }
    if (parser.isSet(calibrationOption)) {
        options.calibrationFile = parser.value(calibrationOption);
    }
    if (parser.isSet(rangeOption)) {
        if (!options.calibrationFile) {
            return QStringLiteral("--range needs --calibration");
        }
        const auto ranges = ParseRanges(parser.value(rangeOption));
        if (!ranges) {
            return QStringLiteral("--range takes two ranges from 1 to 4, as in 2,3; not '%1'")
                .arg(parser.value(rangeOption));
        }
        options.ranges = *ranges;
    }
    QStringList files = parser.positionalArguments();
    if (parser.isSet(scopeOption)) {
        auto scope =
            ParseScope(parser.value(scopeOption), files,
                       parser.isSet(stepOption) ? parser.value(stepOption) : QString(),
                       parser.isSet(triggerOption) ? parser.value(triggerOption) : QString(),
                       parser.isSet(levelOption) ? parser.value(levelOption) : QString());
        if (const auto* message = std::get_if<QString>(&scope)) {
            return *message;
        }
        options.scope = std::get<ScopeRequest>(scope);
    } else if (parser.isSet(stepOption) || parser.isSet(triggerOption) ||
               parser.isSet(levelOption)) {
        return QStringLiteral("--step, --trigger and --level need --scope");
    }
    if (files.size() != 1) {
        return files.isEmpty()
                   ? QStringLiteral("no recording named")
                   : QStringLiteral("one recording at a time, not %1").arg(files.size());
    }
    options.file = files.front();
    return options;
}

// The calibration state from a settings file; a message when the file cannot be read.
std::optional<QString> LoadCalibration(const QString& path, CalibrationState& state,
                                       std::FILE* err) {
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        return QStringLiteral("cannot read calibration file %1").arg(path);
    }
    QSettingsStore store(path);
    StreamMessageBoxes boxes(err);
    LoadCalibrationAtStartup(store, state, boxes);
    state.RawDisplay = !state.Calibrated;
    if (!state.Calibrated) {
        Print(err, QStringLiteral("veruziva-meter: %1 holds no complete calibration; readings are "
                                  "raw\n")
                       .arg(path));
    }
    return std::nullopt;
}

std::string BlockLine(long long block, const Readouts& readouts) {
    std::string line = std::to_string(block);
    for (const std::string* field : {&readouts.a.readingText, &readouts.b.readingText,
                                     &readouts.a.frequencyText, &readouts.b.frequencyText}) {
        line += ';';
        line += *field;
    }
    line += ';' + std::to_string(readouts.a.barPosition);
    line += ';' + std::to_string(readouts.b.barPosition);
    line += '\n';
    return line;
}

}  // namespace

int RunMeterTool(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    bool help = false;
    const auto parsed = ParseOptions(arguments, help);
    if (help) {
        Print(out, QString::fromLatin1(Usage));
        return std::fflush(out) == 0 && !std::ferror(out) ? ExitSuccess : ExitFailure;
    }
    if (const auto* message = std::get_if<QString>(&parsed)) {
        Fail(err, *message);
        Print(err, QStringLiteral("Try 'veruziva-meter --help'.\n"));
        return ExitBadInput;
    }
    const Options& options = std::get<Options>(parsed);

    CalibrationState state;
    state.RawDisplay = true;
    if (options.calibrationFile) {
        if (const auto message = LoadCalibration(*options.calibrationFile, state, err)) {
            return Fail(err, *message);
        }
    }

    WavReader reader;
    if (!reader.open(options.file)) {
        return Fail(err, reader.errorText());
    }

    const std::string separator = QLocale::system().decimalPoint().toStdString();
    const DisplayParameters display = DeriveDisplayParameters(state, options.ranges);
    const PassSettings pass = MakePassSettings(display, !options.dcA, !options.dcB);
    Readouts readouts;
    Oscilloscope scope;
    bool pictureDrawn = false;
    std::string output = "block;A;B;fA;fB;barA;barB\n";
    long long block = 0;
    for (auto frames = reader.nextBlock(); !frames.empty(); frames = reader.nextBlock()) {
        if (options.scope && options.scope->block == block) {
            ScopePlotter plotter = scope.begin(frames, options.scope->settings, display);
            ShowMeasurement(readouts, MeasureBlock(frames, pass, plotter.startFrame(), plotter),
                            display, separator);
            pictureDrawn = true;
        } else {
            ShowMeasurement(readouts, MeasureBlock(frames, pass), display, separator);
        }
        output += BlockLine(block++, readouts);
        if (output.size() > 65536) {
            std::fwrite(output.data(), 1, output.size(), out);
            output.clear();
        }
    }
    std::fwrite(output.data(), 1, output.size(), out);
    if (!reader.errorText().isEmpty()) {
        return Fail(err, reader.errorText());
    }
    if (options.scope && !pictureDrawn) {
        return Fail(err, QStringLiteral("there is no block %1: the recording has %2 block(s)")
                             .arg(options.scope->block)
                             .arg(block));
    }
    if (options.scope && !scope.image().save(options.scope->output, "PNG")) {
        Print(err, QStringLiteral("veruziva-meter: cannot write the picture %1\n")
                       .arg(options.scope->output));
        return ExitFailure;
    }
    if (std::fflush(out) != 0 || std::ferror(out)) {
        Print(err, QStringLiteral("veruziva-meter: cannot write the results\n"));
        return ExitFailure;
    }
    return ExitSuccess;
}

}  // namespace veruziva::meter
