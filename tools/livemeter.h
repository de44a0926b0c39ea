#pragma once

#include <QString>
#include <cstdio>
#include <functional>
#include <span>

#include "meteroptions.h"
#include "platform/audio/audiosystem.h"

namespace veruziva::meter {

// The sound system the live modes use; a problem in choosing it is told on `err`.
AudioSystem OpenAudioTelling(std::FILE* err);

// Lists the input devices: number, name, ALSA device name.
int RunList(std::FILE* out, std::FILE* err);

// Frames handed on as they come.
using TakeFrames = std::function<void(std::span<const StereoFrame>)>;

// Captures `blocks` successive blocks of the continuous flow from the options' device, after
// AcSettleBlocks let pass, and hands each one's frames to `take`; `source` is the device's name
// as the calibration names it. ExitSuccess, or ExitFailure when the capture failed, stalled or
// lost its device (told on `err`).
int CaptureBlocks(const Options& options, long long blocks, const TakeFrames& take, QString& source,
                  std::FILE* err);

// Serves the options' device's readings as a SCPI instrument on TCP until ended (Ctrl+C).
int RunServe(const Options& options, std::FILE* err);

// Captures the requested blocks live through the capture engine and prints them.
int RunLive(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace veruziva::meter
