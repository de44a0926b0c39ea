#include "meteroptions.h"

#include <QLocale>
#include <cmath>
#include <limits>

#include "analysis/spectrum.h"
#include "analysis/waveformmeasurement.h"
#include "calibration/accalibration.h"
#include "calibration/calibrationstate.h"
#include "commandline.h"
#include "measurement/triggercontrols.h"
#include "recording/capturedefinition.h"
#include "scpi/meter/meterserver.h"

namespace veruziva::meter {

namespace {

const char* const UsageHead =
    "Usage: veruziva-meter [MEASURE] [--scope N OUT.png [SCOPE]] FILE\n"
    "       veruziva-meter [MEASURE] [--scope N OUT.png [SCOPE]] --device N --blocks K\n"
    "                      [--grab] [--stats]\n"
    "       veruziva-meter [MEASURE] --device N --wav FILE --seconds T\n"
    "       veruziva-meter [MEASURE] --device N --csv FILE --period P --seconds T\n"
    "       veruziva-meter [MEASURE] --plot RECORDING OUT.png\n"
    "       veruziva-meter --list\n"
    "       veruziva-meter --devices | --line-in [--calibration FILE]\n"
    "       veruziva-meter --calibrate-ac RANGE VALUE [--channels a|b|ab]\n"
    "                      (--device N | FILE) --calibration FILE\n"
    "       veruziva-meter --distortion [--fundamental HZ] [--window NAME]\n"
    "                      [--calibration FILE [--range A,B]] (--device N --blocks K | FILE)\n"
    "       veruziva-meter --spectrum SIZE [--window NAME] [--average N]\n"
    "                      [--calibration FILE [--range A,B]] (--device N | FILE)\n"
    "       veruziva-meter --measure NAMES [--calibration FILE [--range A,B]]\n"
    "                      (--device N --blocks K | FILE)\n"
    "\n"
    "Measures a recording (16-bit stereo PCM at 44100 frames/s), or K blocks captured live from\n"
    "an input device, block by block as the instrument's readouts would show it, and prints one\n"
    "line per block of 4096 frames:\n"
    "\n"
    "    block;A;B;fA;fB;barA;barB\n"
    "\n"
    "the block number from 0, the two reading texts and the two frequency texts exactly as\n"
    "the window shows them (trailing blanks included), and the two level-bar positions\n"
    "(peak div 128). A final partial block is measured over the frames it holds. --rms adds\n"
    "the columns rmsA;rmsB, --overload the columns overA;overB.\n"
    "\n"
    "MEASURE:\n"
    "  --dc a|b|ab          measure the named channels as DC (default: both AC)\n"
    "  --calibration FILE   read the calibration from a settings file of the program;\n"
    "                       a channel whose range is calibrated reads in volts or amperes\n"
    "  --range A,B          ranges of channels A and B, 1 to 4 (0.3 V, 3 V, 30 V, 3 A);\n"
    "                       default 1,1; needs --calibration\n"
    "  --rms                also print each channel's true RMS of its AC part (about the\n"
    "                       block's mean), in the reading's format and unit\n"
    "  --overload           also print 1 for a channel whose block reached the card's limits\n"
    "                       (a sample at -32768 or 32767), else 0\n"
    "  --readings LIST      also print the readings named in LIST, comma-separated, each in\n"
    "                       two columns, A then B, in this order:\n";

const char* const UsageTail =
    "\n"
    "SCOPE:\n"
    "  --scope N OUT.png    also draw the oscilloscope picture of block N (from 0) into\n"
    "                       OUT.png, exactly as the window draws it\n"
    "  --step 1|8           frames per pixel column of the picture (default 1)\n"
    "  --trigger a|b        trigger the picture on channel A or B (default: no trigger)\n"
    "  --level L            trigger level in raw units, 0 to 16000 (default 0); needs\n"
    "                       --trigger\n"
    "\n"
    "Plot:\n"
    "  --plot RECORDING OUT.png\n"
    "                       draw the readings of a recording over its time as a chart with\n"
    "                       labelled axes (seconds from its start): a sampled recording's rows\n"
    "                       (either decimal separator, times from 0 to 599940 s), or a WAV\n"
    "                       recording's readings block by block (measured with the MEASURE\n"
    "                       options); RECORDING may be a pipe, OUT.png must not be RECORDING\n"
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
    "Remote control (a SCPI instrument on raw TCP, for PyVISA and the like; Ctrl+C ends it):\n"
    "  --serve [[ADDRESS:]PORT]\n"
    "                       serve the readings of --device N to clients on PORT (default\n"
    "                       5025, the usual one) of ADDRESS (default 127.0.0.1, this machine\n"
    "                       only), with --calibration, --range and --dc as when printing\n"
    "                       blocks; the commands are in veruziva-meter(1)\n"
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
    "Calibration with a sine:\n"
    "  --calibrate-ac RANGE VALUE\n"
    "                       calibrate one range, 1 to 4 or 0.3V, 3V, 30V, 3A, with a sine of\n"
    "                       VALUE volts RMS (amperes on 3A) applied: measure %1 blocks\n"
    "                       (after %2 let pass from a live device; from the start of a\n"
    "                       recording) and write the factor to the --calibration FILE (made\n"
    "                       when it does not exist) as the program's calibration does; prints\n"
    "                       channel;rawRms;factor, a line per channel; a sine that clips, is\n"
    "                       too small or not steady is refused and nothing is written\n"
    "  --channels a|b|ab    the channels it calibrates (default ab)\n"
    "\n"
    "Distortion and spectra (the definitions of IEEE 1241 and AES17):\n"
    "  --distortion         measure the sine on each channel: from the spectrum of the whole\n"
    "                       recording, or of K blocks captured live after %2 blocks let pass,\n"
    "                       of the largest size of 4096, 8192, 16384, 32768 or 65536 frames\n"
    "                       that they fill (fewer than 4096 frames are refused), averaged\n"
    "                       linearly over all their whole spans of that size from the start;\n"
    "                       prints a line per channel of key=value fields in this order:\n"
    "                         A frequency_hz=1000.000 level_dbfs=-6.00 ... dc_raw=0.32\n"
    "                       frequency_hz   the tone's frequency between bins in Hz, with\n"
    "                                      the sample clock's correction of --calibration\n"
    "                       level_dbfs     its RMS in dB of a full-scale sine's (0 dBFS)\n"
    "                       level_v        on a calibrated range: its RMS in volts (level_a:\n"
    "                                      amperes on the 3 A range)\n"
    "                       level_dbv      the same in dB of 1 V (level_dba: of 1 A)\n"
    "                       thd_percent    THD: harmonics 2 to 10 (those below 22050 Hz)\n"
    "                       thd_db         over the tone, RMS, in % and dB\n"
    "                       thdn_percent   THD+N: everything but DC and the tone over the\n"
    "                       thdn_db        tone, in % and dB\n"
    "                       snr_db         SNR: the tone over everything but DC, the tone\n"
    "                                      and its harmonics\n"
    "                       sinad_db       SINAD: the tone over everything but DC and it\n"
    "                       sfdr_db        SFDR: the tone over the highest other bin, dBc\n"
    "                       noise_floor_dbfs  the mean noise power per bin (_dbv, _dba on a\n"
    "                                      calibrated range)\n"
    "                       dc_raw         the mean in raw units (dc_v, dc_a on a calibrated\n"
    "                                      range: less its zero offset)\n"
    "                       Hz with 3 decimals, dB with 2, % with 4 significant digits, the\n"
    "                       others with 6. A channel whose highest peak stands less than 20 dB\n"
    "                       above its median bin prints \"A no tone\" and its noise floor and\n"
    "                       DC only\n"
    "  --fundamental HZ     the tone is the highest peak near HZ (default: the highest peak)\n"
    "  --window NAME        the window the spectra are taken with: rectangular, hann, flattop\n"
    "                       or blackman-harris (default)\n"
    "  --spectrum SIZE      print both channels' spectra of SIZE frames, 4096, 8192, 16384,\n"
    "                       32768 or 65536, as CSV: '#' lines of what they were measured with\n"
    "                       (source, ranges, window, size, averages, each channel's unit), the\n"
    "                       header frequency;A;B, then SIZE/2 rows, a bin each from the first\n"
    "                       above DC up to 22050 Hz: its frequency in Hz and each channel's\n"
    "                       level in dBFS, or dBV (dBA) on a calibrated range; the decimal\n"
    "                       separator is always '.'\n"
    "  --average N          the linear mean of the spectra of N successive spans (default 1):\n"
    "                       from a recording up to N from its start (it must hold one), live\n"
    "                       N x SIZE frames after %2 blocks let pass\n";

const char* const UsageMeasure =
    "\n"
    "Waveform measurements (a bench scope's; transitions as IEEE 181 defines them):\n"
    "  --measure NAMES      measure each block of 4096 frames of a recording, or K blocks\n"
    "                       captured live after %1 blocks let pass, and print a line per block:\n"
    "                         block;maxA[V];maxB[V];freqA[Hz];freqB[Hz]\n"
    "                       the block number from 0, then each named measurement of A and of B,\n"
    "                       in the order named, to 6 significant digits; the header gives each\n"
    "                       column's unit: V (A on the 3 A range) on a calibrated range, else\n"
    "                       raw, and Hz, s or %; a field is empty where the block holds no full\n"
    "                       period or no edge. NAMES: comma-separated, or all:\n";

const char* const UsageEnd =
    "                       Low and high are the modes of the lower and upper halves of the\n"
    "                       block's histogram where these are flat tops, else its minimum and\n"
    "                       maximum. Frequency, period, widths and duty come from the crossings\n"
    "                       of the level halfway between, each counted once the signal is 10 %\n"
    "                       of low to high beyond it, from the first to the last in the block;\n"
    "                       rise and fall times from 10 % to 90 % of low to high\n"
    "\n"
    "  -h, --help           show this text\n"
    "\n"
    "Examples:\n"
    "  veruziva-meter --list\n"
    "  veruziva-meter --calibration ~/.config/Zoruzoz/Veruziva.conf --range 2,4 --device 0 \\\n"
    "                 --blocks 10\n"
    "                       ten blocks of input device 0 in volts and amperes, as the window\n"
    "                       shows them calibrated: A on the 3 V range, B on the 3 A range\n"
    "  veruziva-meter --device 0 --csv log.csv --period 1 --seconds 3600\n"
    "  veruziva-meter --plot log.csv log.png\n"
    "  veruziva-meter --calibrate-ac 3V 1.5 --device 0 \\\n"
    "                 --calibration ~/.config/Zoruzoz/Veruziva.conf\n"
    "                       the 3 V range of both channels, with a sine of 1.5 V RMS applied\n"
    "  veruziva-meter --distortion --fundamental 1000 bench.wav\n"
    "  veruziva-meter --spectrum 16384 --average 8 --device 0 > spectrum.csv\n"
    "  veruziva-meter --measure freq,duty+,rise bench.wav\n"
    "  veruziva-meter --serve 5025 --device 0 --calibration ~/.config/Zoruzoz/Veruziva.conf\n"
    "\n"
    "The input devices are the sources of the desktop's sound server (PulseAudio or PipeWire)\n"
    "when one answers, else the sound cards through ALSA; VERUZIVA_AUDIO=pulse or\n"
    "VERUZIVA_AUDIO=alsa forces either.\n"
    "The decimal separator follows the locale (LC_NUMERIC).\n"
    "Exit status: 0 success; 1 capture failed or stalled, results or picture could not be\n"
    "written, or a calibration was refused; 2 bad usage or unreadable input.\n";

using Parsed = std::variant<Options, QString>;

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QList<QCommandLineOption> MeterOptions() {
    QList<QCommandLineOption> options{
        QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")})};
    for (const char* flag :
         {"list", "grab", "stats", "devices", "line-in", "rms", "overload", "distortion"}) {
        options.append(QCommandLineOption(QLatin1String(flag)));
    }
    // The usage text is written out in full, so a value name only marks an option taking one.
    for (const char* valued :
         {"dc",          "calibration", "range",   "readings",     "scope",    "step",
          "trigger",     "level",       "device",  "blocks",       "wav",      "csv",
          "period",      "seconds",     "plot",    "calibrate-ac", "channels", "spectrum",
          "fundamental", "window",      "average", "measure",      "serve"}) {
        options.append(QCommandLineOption(QLatin1String(valued), {}, QStringLiteral("value")));
    }
    return options;
}

Parsed ParseList(const QStringList& arguments) {
    if (arguments.size() != 1) {
        return QStringLiteral("--list takes no other arguments");
    }
    Options options;
    options.mode = Options::Mode::List;
    return options;
}

// --devices or --line-in, with at most --calibration FILE (as two arguments).
Parsed ParseInputSelection(const CommandLine& line, const QStringList& arguments) {
    const bool calibration = line.isSet("calibration");
    const bool both = line.isSet("devices") && line.isSet("line-in");
    if (arguments.size() != (calibration ? 3 : 1) || both) {
        return QStringLiteral("--devices and --line-in take only --calibration FILE");
    }
    Options options;
    if (calibration) {
        options.calibrationFile = line.value("calibration");
    }
    options.mode = line.isSet("devices") ? Options::Mode::Devices : Options::Mode::LineIn;
    return options;
}

Refusal ParseDc(const CommandLine& line, Options& options) {
    if (!line.isSet("dc")) {
        return std::nullopt;
    }
    const QString channels = line.value("dc").toLower();
    if (!IsOneOf(channels, {"a", "b", "ab"})) {
        return TakesOnly("--dc", "a, b or ab", line.value("dc"));
    }
    options.dcA = channels.contains(QLatin1Char('a'));
    options.dcB = channels.contains(QLatin1Char('b'));
    return std::nullopt;
}

std::optional<RangeSelection> RangesOf(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2) {
        return std::nullopt;
    }
    const auto a = WholeNumber(parts[0].trimmed(), FirstRange, LastRange);
    const auto b = WholeNumber(parts[1].trimmed(), FirstRange, LastRange);
    if (!a || !b) {
        return std::nullopt;
    }
    return RangeSelection{static_cast<int>(*a), static_cast<int>(*b)};
}

Refusal ParseRanges(const CommandLine& line, Options& options) {
    if (!line.isSet("range")) {
        return std::nullopt;
    }
    if (!options.calibrationFile) {
        return QStringLiteral("--range needs --calibration");
    }
    const auto ranges = RangesOf(line.value("range"));
    if (!ranges) {
        return QStringLiteral("--range takes two ranges from 1 to 4, as in 2,3; not '%1'")
            .arg(line.value("range"));
    }
    options.ranges = *ranges;
    return std::nullopt;
}

// --rms and --overload name a reading each; --readings any of them.
Refusal ParseReadings(const CommandLine& line, Options& options) {
    options.printed[IndexOfRms] = options.printed[IndexOfRms] || line.isSet("rms");
    options.printed[IndexOfOverload] = options.printed[IndexOfOverload] || line.isSet("overload");
    if (!line.isSet("readings")) {
        return std::nullopt;
    }
    for (const QString& id : line.value("readings").split(QLatin1Char(','))) {
        const std::size_t index = ReadingIndex(id.trimmed().toStdString());
        if (index == ReadingCount) {
            QStringList ids;
            for (const ReadingDescriptor& reading : Readings) {
                ids.append(Text(reading.id));
            }
            return QStringLiteral("--readings takes names of readings: %1; not '%2'")
                .arg(ids.join(QStringLiteral(", ")), id);
        }
        options.printed[index] = true;
    }
    return std::nullopt;
}

// The MEASURE options: --dc, --calibration, --range, --rms, --overload and --readings.
Refusal ParseReadingSetup(const CommandLine& line, Options& options) {
    if (auto refusal = ParseDc(line, options)) {
        return refusal;
    }
    if (auto refusal = ParseReadings(line, options)) {
        return refusal;
    }
    if (line.isSet("calibration")) {
        options.calibrationFile = line.value("calibration");
    }
    return ParseRanges(line, options);
}

// An empty step keeps the picture's default.
Refusal ParseStep(const QString& step, ScopeSettings& settings) {
    if (step.isEmpty()) {
        return std::nullopt;
    }
    if (!IsOneOf(step, {"1", "8"})) {
        return TakesOnly("--step", "1 or 8", step);
    }
    settings.columnStep = step.toInt();
    return std::nullopt;
}

// The trigger as after a click on "Trigger" and, for B, on the source button B, with the level
// bar where the level puts it.
void SetTrigger(bool sourceB, int level, ScopeSettings& settings) {
    TriggerControls controls;
    controls.TriggerEnableClick();
    if (sourceB) {
        controls.pressSourceB();
    }
    settings.triggerSourceAEnabled = controls.sourceAEnabled();
    settings.triggerSourceBEnabled = controls.sourceBEnabled();
    settings.triggerSourceADown = controls.sourceADown();
    settings.triggerSourceBDown = controls.sourceBDown();
    settings.triggerLevelPositionA = TriggerLevelTop - level;
    settings.triggerLevelPositionB = TriggerLevelTop - level;
}

// An empty trigger leaves the picture untriggered; an empty level is the level bar's start-up
// position, level 0.
Refusal ParseTrigger(const QString& trigger, const QString& level, ScopeSettings& settings) {
    if (!level.isEmpty() && trigger.isEmpty()) {
        return QStringLiteral("--level needs --trigger");
    }
    if (trigger.isEmpty()) {
        return std::nullopt;
    }
    const QString source = trigger.toLower();
    if (!IsOneOf(source, {"a", "b"})) {
        return TakesOnly("--trigger", "a or b", trigger);
    }
    const auto levelValue = level.isEmpty() ? 0 : WholeNumber(level, 0, TriggerLevelTop);
    if (!levelValue) {
        return TakesOnly("--level", "a level from 0 to 16000", level);
    }
    SetTrigger(source == QLatin1String("b"), static_cast<int>(*levelValue), settings);
    return std::nullopt;
}

// The picture request: the block number, the output file (the first positional argument) and
// the scope's settings.
Refusal ParseScope(const CommandLine& line, QStringList& positional, Options& options) {
    if (!line.isSet("scope")) {
        return line.anySet({"step", "trigger", "level"})
                   ? Refusal(QStringLiteral("--step, --trigger and --level need --scope"))
                   : std::nullopt;
    }
    const auto block = WholeNumber(line.value("scope"), 0);
    if (!block) {
        return TakesOnly("--scope", "a block number from 0", line.value("scope"));
    }
    if (positional.isEmpty()) {
        return QStringLiteral("--scope needs a block number and a picture file: --scope N OUT.png");
    }
    ScopeRequest request{*block, positional.takeFirst(), {}};
    if (auto refusal = ParseStep(line.value("step"), request.settings)) {
        return refusal;
    }
    if (auto refusal = ParseTrigger(line.value("trigger"), line.value("level"), request.settings)) {
        return refusal;
    }
    options.scope = request;
    return std::nullopt;
}

// As the window takes it: whole seconds up to 9999, beyond that whole minutes.
std::optional<long long> CaptureSeconds(const QString& text) {
    const auto seconds = WholeNumber(text, 1, MaxCaptureTime * 60);
    if (seconds && *seconds > MaxCaptureTime && *seconds % 60 != 0) {
        return std::nullopt;
    }
    return seconds;
}

std::optional<int> SamplingPeriodIndex(const QString& text) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    for (std::size_t i = 0; ok && i < SamplingPeriods.size(); ++i) {
        if (seconds * 1000 == SamplingPeriods[i].intervalMs) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

// A sampled recording needs its period; a continual one takes none.
Refusal ParsePeriod(const CommandLine& line, Options& options) {
    if (!line.isSet("csv")) {
        return line.isSet("period") ? Refusal(QStringLiteral("--period belongs to --csv"))
                                    : std::nullopt;
    }
    const auto index = SamplingPeriodIndex(line.value("period"));
    if (!index) {
        return QStringLiteral("--period takes 0.25, 0.5, 1, 15, 60, 300, 900 or 3600");
    }
    options.periodIndex = *index;
    return std::nullopt;
}

// --wav or --csv, with --period and --seconds.
Refusal ParseRecording(const CommandLine& line, Options& options) {
    if (!line.isSet("device")) {
        return QStringLiteral("--wav, --csv, --period and --seconds need --device");
    }
    if (line.isSet("wav") == line.isSet("csv")) {
        return QStringLiteral("record either --wav FILE or --csv FILE");
    }
    if (line.anySet({"blocks", "grab"})) {
        return QStringLiteral("a recording takes no --blocks or --grab");
    }
    const auto seconds = CaptureSeconds(line.value("seconds"));
    if (!seconds) {
        return QStringLiteral(
            "--seconds takes whole seconds from 1 to 9999, or beyond that whole minutes "
            "(a multiple of 60) up to 599940");
    }
    options.seconds = *seconds;
    options.wavFile = line.value("wav");
    options.csvFile = line.value("csv");
    if (options.wavFile.isEmpty() && options.csvFile.isEmpty()) {
        return QStringLiteral("--wav and --csv take a file name");
    }
    return ParsePeriod(line, options);
}

// Live from --device: a recording, or --blocks K printed block by block.
Parsed ParseLive(const CommandLine& line, const QStringList& positional, bool recording,
                 Options options) {
    const auto device = WholeNumber(line.value("device"), 0, std::numeric_limits<int>::max());
    if (!device) {
        return TakesOnly("--device", "a device number from 0", line.value("device"));
    }
    options.device = static_cast<int>(*device);
    if (!recording) {
        const auto blocks = WholeNumber(line.value("blocks"), 1);
        if (!blocks) {
            return QStringLiteral("--device needs --blocks K with K from 1");
        }
        options.blocks = *blocks;
        options.grab = line.isSet("grab");
        options.stats = line.isSet("stats");
    }
    if (!positional.isEmpty()) {
        return QStringLiteral("--device captures live: no recording file with it");
    }
    options.mode = Options::Mode::Live;
    return options;
}

Parsed ParseFile(const CommandLine& line, const QStringList& positional, Options options) {
    if (line.anySet({"blocks", "grab", "stats"})) {
        return QStringLiteral("--blocks, --grab and --stats need --device");
    }
    if (positional.isEmpty()) {
        return QStringLiteral("no recording named");
    }
    if (positional.size() > 1) {
        return QStringLiteral("one recording at a time, not %1").arg(positional.size());
    }
    options.file = positional.front();
    return options;
}

// --plot RECORDING OUT.png, with the MEASURE options only.
Parsed ParsePlot(const CommandLine& line, const QStringList& positional, Options options) {
    if (line.anySet({"scope", "step", "trigger", "level", "device", "blocks", "grab", "stats",
                     "wav", "csv", "period", "seconds"})) {
        return QStringLiteral("--plot takes only the MEASURE options");
    }
    if (line.value("plot").isEmpty() || positional.size() != 1) {
        return QStringLiteral(
            "--plot needs a recording and a picture file: --plot RECORDING "
            "OUT.png");
    }
    options.file = line.value("plot");
    options.plotOutput = positional.front();
    options.mode = Options::Mode::Plot;
    return options;
}

std::optional<int> AcRangeOf(const QString& text) {
    // The captions as the range buttons show them, and as the settings file names them.
    static constexpr std::array<std::array<const char*, 2>, RangeCount> Captions{
        {{"0.3v", "0.3v"}, {"3v", "3.0v"}, {"30v", "30v"}, {"3a", "3.0a"}}};
    const QString caption = text.toLower().remove(QLatin1Char(' '));
    for (int r = FirstRange; r <= LastRange; ++r) {
        const auto& names = Captions[static_cast<std::size_t>(r - FirstRange)];
        if (caption == QLatin1String(names[0]) || caption == QLatin1String(names[1])) {
            return r;
        }
    }
    const auto number = WholeNumber(text, FirstRange, LastRange);
    return number ? std::optional<int>(static_cast<int>(*number)) : std::nullopt;
}

// A number above 0, with a point or the locale's decimal separator.
std::optional<double> PositiveNumber(const QString& text) {
    bool ok = false;
    double value = text.toDouble(&ok);
    if (!ok) {
        value = QLocale::system().toDouble(text, &ok);
    }
    return ok && std::isfinite(value) && value > 0.0 ? std::optional<double>(value) : std::nullopt;
}

// --calibrate-ac RANGE VALUE, the channels, a live device or a recording, and the settings
// file it writes.
// --device N: a live input, with no recording file beside it.
Refusal ParseDevice(const CommandLine& line, const QStringList& positional, Options& options) {
    const auto device = WholeNumber(line.value("device"), 0, std::numeric_limits<int>::max());
    if (!device) {
        return TakesOnly("--device", "a device number from 0", line.value("device"));
    }
    options.device = static_cast<int>(*device);
    if (!positional.isEmpty()) {
        return QStringLiteral("--device captures live: no recording file with it");
    }
    return std::nullopt;
}

Parsed ParseCalibrateAc(const CommandLine& line) {
    if (line.anySet({"dc",       "range",       "rms",    "overload", "readings", "scope",
                     "step",     "trigger",     "level",  "blocks",   "grab",     "stats",
                     "wav",      "csv",         "period", "seconds",  "plot",     "distortion",
                     "spectrum", "fundamental", "window", "average",  "measure"})) {
        return QStringLiteral("--calibrate-ac takes only --channels, --device and --calibration");
    }
    Options options;
    options.mode = Options::Mode::CalibrateAc;
    const auto range = AcRangeOf(line.value("calibrate-ac"));
    if (!range) {
        return TakesOnly("--calibrate-ac", "a range from 1 to 4, or 0.3V, 3V, 30V or 3A",
                         line.value("calibrate-ac"));
    }
    options.acRange = *range;
    QStringList positional = line.positionalArguments();
    if (positional.isEmpty()) {
        return QStringLiteral(
            "--calibrate-ac needs a range and the sine's RMS: --calibrate-ac RANGE VALUE");
    }
    const QString value = positional.takeFirst();
    const auto rms = PositiveNumber(value);
    if (!rms) {
        return QStringLiteral("--calibrate-ac takes the sine's RMS as a number above 0, not '%1'")
            .arg(value);
    }
    options.acRms = *rms;
    if (line.isSet("channels")) {
        const QString channels = line.value("channels").toLower();
        if (!IsOneOf(channels, {"a", "b", "ab"})) {
            return TakesOnly("--channels", "a, b or ab", line.value("channels"));
        }
        options.acA = channels.contains(QLatin1Char('a'));
        options.acB = channels.contains(QLatin1Char('b'));
    }
    if (!line.isSet("calibration")) {
        return QStringLiteral(
            "--calibrate-ac needs --calibration FILE, the settings file it writes");
    }
    options.calibrationFile = line.value("calibration");
    if (line.isSet("device")) {
        if (const Refusal refusal = ParseDevice(line, positional, options)) {
            return *refusal;
        }
        return options;
    }
    return ParseFile(line, positional, options);
}

Refusal ParseWindow(const CommandLine& line, Options& options) {
    if (!line.isSet("window")) {
        return std::nullopt;
    }
    const auto window = WindowByName(line.value("window").toLower().toStdString());
    if (!window) {
        return TakesOnly("--window", "rectangular, hann, flattop or blackman-harris",
                         line.value("window"));
    }
    options.window = *window;
    return std::nullopt;
}

// --distortion's --fundamental HZ and --blocks K, or --spectrum SIZE's --average N.
Refusal ParseAnalysisMode(const CommandLine& line, Options& options) {
    if (options.mode == Options::Mode::Distortion) {
        if (line.isSet("fundamental")) {
            const auto hz = PositiveNumber(line.value("fundamental"));
            if (!hz || *hz >= SampleRate / 2.0) {
                return TakesOnly("--fundamental", "a frequency above 0 and below 22050 Hz",
                                 line.value("fundamental"));
            }
            options.fundamentalHz = *hz;
        }
        if (line.isSet("device")) {
            const auto blocks = WholeNumber(line.value("blocks"), 1, 1000000);
            if (!blocks) {
                return QStringLiteral("--distortion from --device needs --blocks K with K from 1");
            }
            options.blocks = *blocks;
        }
        return std::nullopt;
    }
    const auto size = WholeNumber(line.value("spectrum"), MinSpectrumSize, MaxSpectrumSize);
    if (!size || !ValidSpectrumSize(static_cast<int>(*size))) {
        return TakesOnly("--spectrum", "a size of 4096, 8192, 16384, 32768 or 65536",
                         line.value("spectrum"));
    }
    options.spectrumSize = static_cast<int>(*size);
    if (line.isSet("average")) {
        const auto averages = WholeNumber(line.value("average"), 1, 10000);
        if (!averages) {
            return TakesOnly("--average", "a number of spectra from 1 to 10000",
                             line.value("average"));
        }
        options.averages = static_cast<int>(*averages);
    }
    return std::nullopt;
}

// A live device (--device N) or a recording.
Parsed ParseSource(const CommandLine& line, Options options) {
    const QStringList positional = line.positionalArguments();
    if (line.isSet("device")) {
        if (const Refusal refusal = ParseDevice(line, positional, options)) {
            return *refusal;
        }
        return options;
    }
    if (line.isSet("blocks")) {
        return QStringLiteral("--blocks needs --device");
    }
    return ParseFile(line, positional, options);
}

// --distortion or --spectrum SIZE: the window, the calibration and ranges, and a live device
// or a recording.
Parsed ParseAnalysis(const CommandLine& line) {
    Options options;
    options.mode = line.isSet("distortion") ? Options::Mode::Distortion : Options::Mode::Spectrum;
    const bool distortion = options.mode == Options::Mode::Distortion;
    if (distortion && line.isSet("spectrum")) {
        return QStringLiteral("--distortion and --spectrum go one at a time");
    }
    if (line.anySet({"dc", "rms", "overload", "readings", "scope", "step", "trigger", "level",
                     "grab", "stats", "wav", "csv", "period", "seconds", "plot", "channels"}) ||
        line.isSet(distortion ? "average" : "fundamental") ||
        (!distortion && line.isSet("blocks"))) {
        return distortion ? QStringLiteral(
                                "--distortion takes only --fundamental, --window, "
                                "--calibration, --range, --device and --blocks")
                          : QStringLiteral(
                                "--spectrum takes only --window, --average, "
                                "--calibration, --range and --device");
    }
    if (line.isSet("calibration")) {
        options.calibrationFile = line.value("calibration");
    }
    for (const auto parse : {ParseRanges, ParseWindow, ParseAnalysisMode}) {
        if (auto refusal = parse(line, options)) {
            return *refusal;
        }
    }
    return ParseSource(line, options);
}

// --measure NAMES: the measurements, the calibration and ranges, and K blocks of a live device
// or a recording.
Parsed ParseMeasure(const CommandLine& line) {
    if (line.anySet({"distortion", "spectrum"})) {
        return QStringLiteral("--measure goes alone, without --distortion or --spectrum");
    }
    if (line.anySet({"dc", "rms", "overload", "readings", "scope", "step", "trigger", "level",
                     "grab", "stats", "wav", "csv", "period", "seconds", "plot", "channels",
                     "fundamental", "window", "average"})) {
        return QStringLiteral("--measure takes only --calibration, --range, --device and --blocks");
    }
    Options options;
    options.mode = Options::Mode::Measure;
    const QString names = line.value("measure");
    for (const QString& name : names.split(QLatin1Char(','))) {
        const std::size_t index = WaveformMeasurementIndex(name.trimmed().toStdString());
        if (name.trimmed() == QLatin1String("all")) {
            for (std::size_t i = 0; i < WaveformMeasurementCount; ++i) {
                options.measurements.push_back(i);
            }
        } else if (index < WaveformMeasurementCount) {
            options.measurements.push_back(index);
        } else {
            QStringList ids;
            for (const WaveformDescriptor& measurement : WaveformMeasurements) {
                ids.append(Text(measurement.id));
            }
            return QStringLiteral("--measure takes names of measurements: %1 or all; not '%2'")
                .arg(ids.join(QStringLiteral(", ")), name);
        }
    }
    if (line.isSet("calibration")) {
        options.calibrationFile = line.value("calibration");
    }
    if (auto refusal = ParseRanges(line, options)) {
        return *refusal;
    }
    if (line.isSet("device")) {
        const auto blocks = WholeNumber(line.value("blocks"), 1, 1000000);
        if (!blocks) {
            return QStringLiteral("--measure from --device needs --blocks K with K from 1");
        }
        options.blocks = *blocks;
    }
    return ParseSource(line, options);
}

// --serve [ADDRESS:]PORT: a live device's readings served, with the reading setup.
Parsed ParseServe(const CommandLine& line) {
    if (line.anySet({"rms",     "overload",   "readings", "scope",    "step",        "trigger",
                     "level",   "blocks",     "grab",     "stats",    "wav",         "csv",
                     "period",  "seconds",    "plot",     "channels", "fundamental", "window",
                     "average", "distortion", "spectrum", "measure"}) ||
        !line.positionalArguments().isEmpty()) {
        return QStringLiteral("--serve takes only --device, --calibration, --range and --dc");
    }
    Options options;
    options.mode = Options::Mode::Serve;
    if (!ParseServeAddress(line.value("serve"), options.serveAddress, options.servePort)) {
        return TakesOnly("--serve", "[ADDRESS:]PORT, e.g. 5025 or 0.0.0.0:5025",
                         line.value("serve"));
    }
    if (auto refusal = ParseReadingSetup(line, options)) {
        return *refusal;
    }
    const auto device = WholeNumber(line.value("device"), 0, std::numeric_limits<int>::max());
    if (!device) {
        return QStringLiteral("--serve needs --device N");
    }
    options.device = static_cast<int>(*device);
    return options;
}

// A recording measured or plotted, or the input measured or recorded live.
Parsed ParseFileOrLive(const CommandLine& line) {
    if (line.isSet("channels")) {
        return QStringLiteral("--channels belongs to --calibrate-ac");
    }
    if (line.anySet({"fundamental", "window", "average"})) {
        return QStringLiteral(
            "--fundamental, --window and --average belong to --distortion and "
            "--spectrum");
    }
    Options options;
    QStringList positional = line.positionalArguments();
    if (auto refusal = ParseReadingSetup(line, options)) {
        return *refusal;
    }
    if (line.isSet("plot")) {
        return ParsePlot(line, positional, options);
    }
    if (auto refusal = ParseScope(line, positional, options)) {
        return *refusal;
    }
    const bool recording = line.anySet({"wav", "csv"});
    if (line.anySet({"wav", "csv", "period", "seconds"})) {
        if (auto refusal = ParseRecording(line, options)) {
            return *refusal;
        }
    }
    if (line.isSet("device")) {
        return ParseLive(line, positional, recording, options);
    }
    return ParseFile(line, positional, options);
}

}  // namespace

QString UsageText() {
    QString text = QString::fromLatin1(UsageHead);
    for (const ReadingDescriptor& reading : Readings) {
        text += QStringLiteral("                         %1 (%2A;%2B): %3\n")
                    .arg(Text(reading.id), Text(reading.column), Text(reading.name));
    }
    text += QString::fromLatin1(UsageTail).arg(AcCalibrationBlocks).arg(AcSettleBlocks);
    text += QString::fromLatin1(UsageMeasure).arg(AcSettleBlocks);
    for (const WaveformDescriptor& measurement : WaveformMeasurements) {
        text += QStringLiteral("                         %1 %2 (%3)\n")
                    .arg(Text(measurement.id), -7)
                    .arg(Text(measurement.caption),
                         measurement.unit == WaveformUnit::Channel
                             ? QStringLiteral("V, A or raw")
                             : QString::fromStdString(WaveformUnitText(measurement.unit, {})));
    }
    return text + QString::fromLatin1(UsageEnd);
}

std::variant<Options, QString> ParseOptions(const QStringList& given) {
    // --serve without an address serves on the usual one.
    QStringList arguments = given;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--serve") &&
            (i + 1 == arguments.size() || arguments[i + 1].startsWith(QLatin1Char('-')))) {
            arguments.insert(i + 1, QStringLiteral("127.0.0.1:5025"));
        }
    }
    CommandLine line(MeterOptions());
    if (!line.parse(arguments)) {
        return line.errorText();
    }
    if (line.isSet("help")) {
        Options options;
        options.mode = Options::Mode::Help;
        return options;
    }
    if (line.isSet("list")) {
        return ParseList(arguments);
    }
    if (line.anySet({"devices", "line-in"})) {
        return ParseInputSelection(line, arguments);
    }
    if (line.isSet("calibrate-ac")) {
        return ParseCalibrateAc(line);
    }
    if (line.isSet("measure")) {
        return ParseMeasure(line);
    }
    if (line.isSet("serve")) {
        return ParseServe(line);
    }
    if (line.anySet({"distortion", "spectrum"})) {
        return ParseAnalysis(line);
    }
    return ParseFileOrLive(line);
}

}  // namespace veruziva::meter
