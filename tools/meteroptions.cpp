#include "meteroptions.h"

#include <QCommandLineParser>

#include "calibration/calibrationstate.h"
#include "measurement/triggercontrols.h"
#include "recording/capturedefinition.h"

namespace veruziva::meter {

const char* const Usage =
    "Usage: veruziva-meter [MEASURE] [--scope N OUT.png [SCOPE]] FILE\n"
    "       veruziva-meter [MEASURE] [--scope N OUT.png [SCOPE]] --device N --blocks K\n"
    "                      [--grab] [--stats]\n"
    "       veruziva-meter [MEASURE] --device N --wav FILE --seconds T\n"
    "       veruziva-meter [MEASURE] --device N --csv FILE --period P --seconds T\n"
    "       veruziva-meter --list\n"
    "       veruziva-meter --devices | --line-in [--calibration FILE]\n"
    "\n"
    "Measures a recording (16-bit stereo PCM at 44100 frames/s), or K blocks captured live from\n"
    "an input device, block by block as the instrument's readouts would show it, and prints one\n"
    "line per block of 4096 frames:\n"
    "\n"
    "    block;A;B;fA;fB;barA;barB\n"
    "\n"
    "the block number from 0, the two reading texts and the two frequency texts exactly as\n"
    "the window shows them (trailing blanks included), and the two level-bar positions\n"
    "(peak div 128). A final partial block is measured over the frames it holds.\n"
    "\n"
    "MEASURE:\n"
    "  --dc a|b|ab          measure the named channels as DC (default: both AC)\n"
    "  --calibration FILE   read the calibration from a settings file of the program;\n"
    "                       a complete calibration gives calibrated readings\n"
    "  --range A,B          ranges of channels A and B, 1 to 4 (0.3 V, 3 V, 30 V, 3 A);\n"
    "                       default 1,1; needs --calibration\n"
    "\n"
    "SCOPE:\n"
    "  --scope N OUT.png    also draw the oscilloscope picture of block N (from 0) into\n"
    "                       OUT.png, exactly as the window draws it\n"
    "  --step 1|8           frames per pixel column of the picture (default 1)\n"
    "  --trigger a|b        trigger the picture on channel A or B (default: no trigger)\n"
    "  --level L            trigger level in raw units, 0 to 16000 (default 0); needs\n"
    "                       --trigger\n"
    "\n"
    "Live capture:\n"
    "  --list               list the input devices: number, name, and the sound server's\n"
    "                       source name (or the ALSA device name)\n"
    "  --device N           capture from input device N (see --list)\n"
    "  --blocks K           capture K blocks, then stop\n"
    "  --grab               grab the blocks one at a time, as the calibration does, instead of\n"
    "                       capturing a continuous flow\n"
    "  --stats              report on stderr how long each block waited to be handled, the\n"
    "                       capture thread's CPU use and any overruns\n"
    "\n"
    "Recording live (as the program's \"Start saving\"; Ctrl+C ends it cleanly):\n"
    "  --wav FILE           a continual recording: the raw input as a WAV file\n"
    "  --csv FILE           a sampled recording: one row of readings per period (FILE - is\n"
    "                       standard output); a named pipe or a socket is refused\n"
    "  --period P           the sampling period in seconds: 0.25, 0.5, 1, 15, 60, 300, 900\n"
    "                       or 3600\n"
    "  --seconds T          the capturing time in whole seconds, 1 to 9999, or beyond that\n"
    "                       whole minutes (a multiple of 60) up to 599940; a WAV file holds\n"
    "                       at most 12120 s (202 min)\n"
    "\n"
    "Input selection (with the program's stored settings, or those of --calibration FILE):\n"
    "  --devices            show what the program's start-up sees, changing nothing: input\n"
    "                       devices, mixers with their lines, the device and mixer chosen\n"
    "                       and the line-in source\n"
    "  --line-in            make start-up's choice and set the line-in level as start-up\n"
    "                       does, and show what was set\n"
    "\n"
    "  -h, --help           show this text\n"
    "\n"
    "The input devices are the sources of the desktop's sound server (PulseAudio or PipeWire)\n"
    "when one answers, else the sound cards through ALSA; VERUZIVA_AUDIO=pulse or\n"
    "VERUZIVA_AUDIO=alsa forces either.\n"
    "The decimal separator follows the locale (LC_NUMERIC).\n"
    "Exit status: 0 success; 1 capture failed or stalled, or results or picture could not be\n"
    "written; 2 bad usage or unreadable input.\n";

namespace {

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

// The picture request: the block number, the output file (the first positional argument) and
// the scope's settings.
std::variant<ScopeRequest, QString> ParseScope(const QString& blockText, QStringList& positional,
                                               const QString& step, const QString& trigger,
                                               const QString& level) {
    ScopeRequest request;
    bool ok = false;
    request.block = blockText.toLongLong(&ok);
    if (!ok || request.block < 0) {
        return QStringLiteral("--scope takes a block number from 0, not '%1'").arg(blockText);
    }
    if (positional.isEmpty()) {
        return QStringLiteral("--scope needs a block number and a picture file: --scope N OUT.png");
    }
    request.output = positional.takeFirst();
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

}  // namespace

std::variant<Options, QString> ParseOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption dc(QStringLiteral("dc"), {}, QStringLiteral("channels"));
    const QCommandLineOption calibration(QStringLiteral("calibration"), {}, QStringLiteral("file"));
    const QCommandLineOption range(QStringLiteral("range"), {}, QStringLiteral("A,B"));
    const QCommandLineOption scope(QStringLiteral("scope"), {}, QStringLiteral("N"));
    const QCommandLineOption step(QStringLiteral("step"), {}, QStringLiteral("1|8"));
    const QCommandLineOption trigger(QStringLiteral("trigger"), {}, QStringLiteral("a|b"));
    const QCommandLineOption level(QStringLiteral("level"), {}, QStringLiteral("L"));
    const QCommandLineOption list(QStringLiteral("list"));
    const QCommandLineOption device(QStringLiteral("device"), {}, QStringLiteral("N"));
    const QCommandLineOption blocks(QStringLiteral("blocks"), {}, QStringLiteral("K"));
    const QCommandLineOption grab(QStringLiteral("grab"));
    const QCommandLineOption stats(QStringLiteral("stats"));
    const QCommandLineOption devices(QStringLiteral("devices"));
    const QCommandLineOption lineIn(QStringLiteral("line-in"));
    const QCommandLineOption wav(QStringLiteral("wav"), {}, QStringLiteral("file"));
    const QCommandLineOption csv(QStringLiteral("csv"), {}, QStringLiteral("file"));
    const QCommandLineOption period(QStringLiteral("period"), {}, QStringLiteral("seconds"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), {}, QStringLiteral("seconds"));
    parser.addOptions({help, dc, calibration, range, scope, step, trigger, level, list, device,
                       blocks, grab, stats, devices, lineIn, wav, csv, period, seconds});
    if (!parser.parse(QStringList{QStringLiteral("veruziva-meter")} + arguments)) {
        return parser.errorText();
    }
    Options options;
    if (parser.isSet(help)) {
        options.mode = Options::Mode::Help;
        return options;
    }
    QStringList positional = parser.positionalArguments();
    if (parser.isSet(list)) {
        if (arguments.size() != 1) {
            return QStringLiteral("--list takes no other arguments");
        }
        options.mode = Options::Mode::List;
        return options;
    }
    if (parser.isSet(devices) || parser.isSet(lineIn)) {
        const int extra = parser.isSet(calibration) ? 2 : 0;
        if (arguments.size() != 1 + extra || (parser.isSet(devices) && parser.isSet(lineIn))) {
            return QStringLiteral("--devices and --line-in take only --calibration FILE");
        }
        if (parser.isSet(calibration)) {
            options.calibrationFile = parser.value(calibration);
        }
        options.mode = parser.isSet(devices) ? Options::Mode::Devices : Options::Mode::LineIn;
        return options;
    }
    if (parser.isSet(dc)) {
        const QString channels = parser.value(dc).toLower();
        if (channels != QLatin1String("a") && channels != QLatin1String("b") &&
            channels != QLatin1String("ab")) {
            return QStringLiteral("--dc takes a, b or ab, not '%1'").arg(parser.value(dc));
        }
        options.dcA = channels.contains(QLatin1Char('a'));
        options.dcB = channels.contains(QLatin1Char('b'));
    }
    if (parser.isSet(calibration)) {
        options.calibrationFile = parser.value(calibration);
    }
    if (parser.isSet(range)) {
        if (!options.calibrationFile) {
            return QStringLiteral("--range needs --calibration");
        }
        const auto ranges = ParseRanges(parser.value(range));
        if (!ranges) {
            return QStringLiteral("--range takes two ranges from 1 to 4, as in 2,3; not '%1'")
                .arg(parser.value(range));
        }
        options.ranges = *ranges;
    }
    if (parser.isSet(scope)) {
        auto request = ParseScope(parser.value(scope), positional,
                                  parser.isSet(step) ? parser.value(step) : QString(),
                                  parser.isSet(trigger) ? parser.value(trigger) : QString(),
                                  parser.isSet(level) ? parser.value(level) : QString());
        if (const auto* message = std::get_if<QString>(&request)) {
            return *message;
        }
        options.scope = std::get<ScopeRequest>(request);
    } else if (parser.isSet(step) || parser.isSet(trigger) || parser.isSet(level)) {
        return QStringLiteral("--step, --trigger and --level need --scope");
    }
    const bool recording = parser.isSet(wav) || parser.isSet(csv);
    if (recording || parser.isSet(period) || parser.isSet(seconds)) {
        if (!parser.isSet(device)) {
            return QStringLiteral("--wav, --csv, --period and --seconds need --device");
        }
        if (parser.isSet(wav) == parser.isSet(csv)) {
            return QStringLiteral("record either --wav FILE or --csv FILE");
        }
        if (parser.isSet(blocks) || parser.isSet(grab)) {
            return QStringLiteral("a recording takes no --blocks or --grab");
        }
        bool ok = false;
        options.seconds = parser.value(seconds).toLongLong(&ok);
        // As the window takes it: whole seconds up to 9999, beyond that whole minutes.
        if (!parser.isSet(seconds) || !ok || options.seconds < 1 ||
            options.seconds > MaxCaptureTime * 60 ||
            (options.seconds > MaxCaptureTime && options.seconds % 60 != 0)) {
            return QStringLiteral(
                "--seconds takes whole seconds from 1 to 9999, or beyond that whole minutes "
                "(a multiple of 60) up to 599940");
        }
        options.wavFile = parser.value(wav);
        options.csvFile = parser.value(csv);
        if (options.wavFile.isEmpty() && options.csvFile.isEmpty()) {
            return QStringLiteral("--wav and --csv take a file name");
        }
        if (parser.isSet(csv)) {
            const double value = parser.value(period).toDouble(&ok);
            for (std::size_t i = 0; ok && i < SamplingPeriods.size(); ++i) {
                if (value * 1000 == SamplingPeriods[i].intervalMs) {
                    options.periodIndex = static_cast<int>(i);
                }
            }
            if (options.periodIndex < 0) {
                return QStringLiteral("--period takes 0.25, 0.5, 1, 15, 60, 300, 900 or 3600");
            }
        } else if (parser.isSet(period)) {
            return QStringLiteral("--period belongs to --csv");
        }
    }
    if (parser.isSet(device)) {
        bool ok = false;
        options.device = parser.value(device).toInt(&ok);
        if (!ok || options.device < 0) {
            return QStringLiteral("--device takes a device number from 0, not '%1'")
                .arg(parser.value(device));
        }
        if (recording) {
            if (!positional.isEmpty()) {
                return QStringLiteral("--device captures live: no recording file with it");
            }
            options.mode = Options::Mode::Live;
            return options;
        }
        options.blocks = parser.value(blocks).toLongLong(&ok);
        if (!parser.isSet(blocks) || !ok || options.blocks < 1) {
            return QStringLiteral("--device needs --blocks K with K from 1");
        }
        if (!positional.isEmpty()) {
            return QStringLiteral("--device captures live: no recording file with it");
        }
        options.grab = parser.isSet(grab);
        options.stats = parser.isSet(stats);
        options.mode = Options::Mode::Live;
        return options;
    }
    if (parser.isSet(blocks) || parser.isSet(grab) || parser.isSet(stats)) {
        return QStringLiteral("--blocks, --grab and --stats need --device");
    }
    if (positional.size() != 1) {
        return positional.isEmpty()
                   ? QStringLiteral("no recording named")
                   : QStringLiteral("one recording at a time, not %1").arg(positional.size());
    }
    options.file = positional.front();
    return options;
}

}  // namespace veruziva::meter
